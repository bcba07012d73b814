// Shared set-up of the end-to-end tests: a clean machine state, the publisher's content
// for one partner, and a driver for the real Setup.exe.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/PublisherControl.h"
#include "support/TestUtil.h"
#include "support/WizardDriver.h"

namespace e2e {

// Texts of the wizard in code page 949.
extern const char kPlayerItem[];    // "멜보라플레이어 v1.0 "
extern const char kUpdaterItem[];   // "멜보라플레이어 updater "
extern const char kHoverHint[];
extern const char kLinkName[];      // "무료음악감상.lnk"
// The finish page's notice that the player could not be installed.
const int kFinishNotice = 1013;

// Pixels, top row first, as COLORREF values.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> data;
    COLORREF At(int x, int y) const { return data[size_t(y) * width + x]; }
};
Pixels ReadDib(HDC hdc, HBITMAP hSource, int width, int height);
// What the screen shows of the wizard's client area.
Pixels CaptureClient(HWND hDlg);
// A skin bitmap as Setup.exe carries it.
Pixels SkinOfSetup(int id);
// Where the client area differs from the skin drawn at (0, 0), outside the given
// rectangles (empty when nowhere); the skin is painted 495 x 359 pixels at most.
std::string SkinDifference(const Pixels& shown, const Pixels& skin, const std::vector<RECT>& covered);

struct Component {
    std::string checkPath;   // relative to Program Files, "/" separated, leading "/"
    std::string installerName;
    std::string name;
    std::string description;
    std::string page;        // path on the product server
    std::string flag;
};

class InstallerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Serves the usual content for a partner: terms, agreement page, versions, every
    // fixed file (the stand-in program), and these components with their installers.
    void ServePartner(const std::string& pid, const std::vector<Component>& components,
                      const std::string& versionReply = "OK|1.0.3|1.0.1");
    std::string ComponentRow(const Component& c) const;

    // Starts Setup_<pid>.exe (with the arguments given) and waits until the wizard is idle
    // on page 1.
    void StartWizard(const std::string& pid, const std::string& arguments = std::string());
    // From page 1 to the page given, pressing Next.
    void NextTo(int page);
    // Waits until the install has ended and the finish page is wholly shown (the install
    // thread shows its controls one after the other).
    bool WaitForFinishPage(DWORD timeoutMs = 60000);
    // Saves the wizard as <artifacts>\<name>.bmp.
    void SavePage(const std::string& name);

    // What the stand-in programs recorded about their starts (their paths, lower-case
    // folders as Windows gives them).
    std::vector<std::string> StartedPrograms() const;
    bool WasStarted(const std::string& pathSuffix) const;
    // Whether a component installer of that name was started from the setup's private
    // folder (a folder of its own under the Windows temporary folder).
    bool InstallerStarted(const std::string& installerName) const;

    std::string ProgramFiles() const;
    std::string InstallDir() const { return ProgramFiles() + "\\MELVORA"; }
    std::string DesktopLink() const;
    std::string QuickLaunchLink() const;
    std::string StartMenuFolder() const;
    std::vector<publisher::RequestLogEntry> Requests(const char* role) const { return publisher::ReadLog(role); }
    bool Requested(const std::string& pathPrefix, const char* role = "product") const;

    // A real mouse click at the centre of a control of the wizard, enabled or not.
    void ClickControl(int id);
    // What the screen shows of a control, row by row (0x00RRGGBB).
    std::vector<DWORD> ControlPixels(int id) const;
    std::vector<DWORD> ScreenPixels(int id) const;   // as it is this moment
    // Moves the real mouse pointer into the options tree, below its last item.
    bool HoverEmptyTreeSpace();

    // A text value of the registry, "<missing>" when absent.
    static std::string RegText(HKEY root, const char* key, const char* name);
    // The names of the values under HKEY_CURRENT_USER "Software\MELVORA".
    static std::vector<std::string> ProductValueNames();
    std::string StartMenuLink() const { return StartMenuFolder() + "\\" + kLinkName; }
    // The install log reached the log server.
    bool LogSent() const { return Requested("/app/receive/log.php?pid=", "log"); }

    static void CleanMachine();

    testutil::ScopedTempDir m_dir;
    WizardDriver m_wizard;
    std::string m_standIn;
    std::string m_startedLog;
};

}  // namespace e2e
