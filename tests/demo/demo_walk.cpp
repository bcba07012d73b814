// Walks a setup program through its pages as a user would, keeping what is offered and
// saving a picture of each page, after saying what its start-up fetched (the terms text,
// the options tree): demo_walk <setup program> <folder for the pictures> [--start-only]
// With --start-only it cancels on the first page instead. Used by tools/demo.py when there
// is no display to click on, by the test of an install from a generated publisher site
// (tests/publish) and by the tests of the https build (tests/signing). Without optional
// components the folder page is left out, as the wizard does.
// demo_walk --uninstall <folder for the pictures> runs the Uninstall entry's command as
// "Apps & features" would, answers Yes, prints the outcome the uninstaller shows and checks
// that it left nothing of itself behind (the end of the headless demo).
#include <windows.h>

#include <cstdio>
#include <string>

#include "support/TestUtil.h"
#include "support/UninstallerDriver.h"
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

bool ShotWindow(HWND hWnd, const std::string& folder, const char* name)
{
    const std::string path = folder + "\\" + name + ".bmp";
    const bool ok = SaveWindowPicture(hWnd, path);
    std::printf("%s %s\n", ok ? "saved" : "could not save", path.c_str());
    return ok;
}

int WalkUninstall(const std::string& folder)
{
    const std::string command =
        testutil::ReadRegValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MELVORA",
                               "UninstallString").data.c_str();
    std::printf("uninstall: %s\n", command.c_str());
    const HANDLE hProcess = command.empty() ? nullptr : testutil::StartProcess(command);
    if (!hProcess)
        return Fail("the uninstaller did not start");
    const HWND hQuestion = uninstaller::WaitForDialog(IDYES);
    if (!hQuestion)
        return Fail("the uninstaller asked nothing");
    ShotWindow(hQuestion, folder, "uninstall-1-question");
    uninstaller::Press(hQuestion, IDYES);
    const HWND hOutcome = uninstaller::WaitForDialog(IDOK, 120000);
    if (!hOutcome)
        return Fail("the uninstaller showed no outcome");
    ShotWindow(hOutcome, folder, "uninstall-2-outcome");
    std::printf("%s\n", uninstaller::Text(hOutcome).c_str());
    uninstaller::Press(hOutcome, IDOK);
    DWORD code = STILL_ACTIVE;
    if (::WaitForSingleObject(hProcess, 60000) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(hProcess, &code);
    ::CloseHandle(hProcess);
    std::printf("the uninstaller ended with exit code %lu\n", code);
    if (!testutil::WaitFor(uninstaller::LeftNoTrace))
        return Fail("the uninstaller left a process or a temporary copy behind");
    std::printf("no uninstaller process or temporary copy is left\n");
    return code == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--uninstall")
        return WalkUninstall(argv[2]);
    const bool startOnly = argc == 4 && std::string(argv[3]) == "--start-only";
    if (argc != 3 && !startOnly)
        return Fail("usage: demo_walk <Setup_demo.exe> <picture folder> [--start-only] | --uninstall <picture folder>");
    const std::string setup = argv[1];
    const std::string folder = argv[2];

    WizardDriver wizard;
    if (!wizard.StartProgram(setup))
        return Fail("the setup program did not start");
    if (!wizard.WaitForWizard() || !wizard.WaitForTree())
        return Fail("the wizard did not come up");
    // The terms text was fetched as the wizard started, the options on its first idle moment.
    std::printf("terms of use: %u bytes\n", unsigned(wizard.Text(1002).size()));
    std::printf("options: %u items\n", unsigned(wizard.TreeItems().size()));
    Shot(wizard, folder, "page1-welcome");
    if (startOnly) {
        wizard.PressCancel();
        return wizard.WaitForExit(60000) == 3 ? 0 : Fail("the setup program did not end as cancelled (exit code 3)");
    }
    const char* names[] = {nullptr, nullptr, "page2-terms", "page3-components", "page4-folder"};
    for (int page = 2; page <= 3; ++page) {
        if (!wizard.PressNext() || !wizard.WaitForPage(page, 20000))
            return Fail("Next did not lead to the next page");
        WizardDriver::TreeItem item;
        if (page == 3 && wizard.FindTreeItem("MELVORA", &item))
            wizard.HoverItem(item.hItem);   // shows the root's description
        Shot(wizard, folder, names[page]);
    }
    if (!wizard.PressNext())
        return Fail("Next did not lead on from the options");
    if (wizard.CurrentPage() == 4) {   // the press returns once the page has changed
        Shot(wizard, folder, names[4]);
        if (!wizard.PressNext())
            return Fail("Next did not lead on from the folder page");
    }
    if (wizard.CurrentPage() < 5)
        return Fail("the install did not start");
    Shot(wizard, folder, "page5-installing");
    if (!wizard.WaitForPage(6, 120000))
        return Fail("the install did not finish");
    Shot(wizard, folder, "page6-finish");
    wizard.PressNext();   // Finish: shortcuts, install report, the player starts
    // 0: everything installed, 1: the player but not everything else, 2: no player.
    const int exitCode = wizard.WaitForExit(60000);
    std::printf("the setup program ended with exit code %d\n", exitCode);
    return exitCode >= 0 && exitCode <= 2 ? 0 : Fail("the setup program did not end after its install");
}
