// Walks a setup program through all six pages as a user would, keeping what is offered,
// and saves a picture of each page: demo_walk <setup program> <folder for the pictures>.
// Used by tools/demo.py when there is no display to click on, and by the test of an
// install from a generated publisher site (tests/publish).
#include <windows.h>

#include <cstdio>
#include <string>

#include "support/WizardDriver.h"

namespace {

bool Shot(const WizardDriver& wizard, const std::string& folder, const char* name)
{
    const std::string path = folder + "\\" + name + ".bmp";
    const bool ok = wizard.Screenshot(path);
    std::printf("%s %s\n", ok ? "saved" : "could not save", path.c_str());
    return ok;
}

int Fail(const char* what)
{
    std::printf("demo walk: %s\n", what);
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return Fail("usage: demo_walk <Setup_demo.exe> <picture folder>");
    const std::string setup = argv[1];
    const std::string folder = argv[2];

    WizardDriver wizard;
    if (!wizard.StartProgram(setup))
        return Fail("the setup program did not start");
    if (!wizard.WaitForWizard() || !wizard.WaitForTree())
        return Fail("the wizard did not come up");
    Shot(wizard, folder, "page1-welcome");
    const char* names[] = {nullptr, nullptr, "page2-terms", "page3-components", "page4-folder"};
    for (int page = 2; page <= 4; ++page) {
        if (!wizard.PressNext() || !wizard.WaitForPage(page, 20000))
            return Fail("Next did not lead to the next page");
        WizardDriver::TreeItem item;
        if (page == 3 && wizard.FindTreeItem("MELVORA", &item))
            wizard.HoverItem(item.hItem);   // shows the root's description
        Shot(wizard, folder, names[page]);
    }
    if (!wizard.PressNext() || !wizard.WaitForPage(5, 20000))
        return Fail("the install did not start");
    Shot(wizard, folder, "page5-installing");
    if (!wizard.WaitForPage(6, 120000))
        return Fail("the install did not finish");
    Shot(wizard, folder, "page6-finish");
    wizard.PressNext();   // Finish: shortcuts, install report, the player starts
    if (wizard.WaitForExit(60000) != 0)
        return Fail("the setup program did not end cleanly");
    std::printf("the setup program finished\n");
    return 0;
}
