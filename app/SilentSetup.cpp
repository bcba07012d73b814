#include "SilentSetup.h"

#include <windows.h>

#include <memory>
#include <vector>

#include "BuildScheme.h"
#include "ComponentList.h"
#include "FinishActions.h"
#include "FolderPath.h"
#include "InstallSequence.h"
#include "ProcessStopper.h"
#include "ProductConstants.h"
#include "SetupLog.h"
#include "SetupSession.h"

namespace {

bool Contains(const std::vector<CString>& names, const CString& name)
{
    for (const CString& each : names) {
        if (each == name)
            return true;
    }
    return false;
}

// The components the command line chose, as the wizard's ticks would: a locked row is
// always installed; /NOCOMPONENTS leaves out every other, /COMPONENTS all it does not name.
class SilentInstallUi : public InstallUi {
public:
    explicit SilentInstallUi(const SetupOptions& options) : m_options(options) {}

    void ResetBar() override {}
    void ShowStatus(const CString& text, bool) override { SetupLog::Write("status: %s", text.GetString()); }
    bool IsSelected(const ComponentEntry& entry) override
    {
        if (entry.IsMandatory())
            return true;
        if (m_options.noComponents)
            return false;
        return !m_options.componentsGiven || Contains(m_options.components, entry.name);
    }
    HWND NotifyWindow() override { return nullptr; }

private:
    const SetupOptions& m_options;
};

// The names of every row the list holds, whether offered or already installed here: a
// script that names a component installed earlier is not wrong on this machine.
std::vector<CString> NamesInList(const CString& listText)
{
    std::vector<ComponentEntry> rows(kComponentCapacity);
    int count = 0;
    ParseComponentRows(listText, g_szProgramFilesDir, [](const CString&) { return false; }, kBuildScheme,
                       rows.data(), count);
    std::vector<CString> names;
    for (int i = 0; i < count; ++i)
        names.push_back(rows[i].name);
    return names;
}

// A /COMPONENTS name the list does not hold; empty when every name is there.
CString UnknownComponent(const SetupOptions& options, const CString& listText)
{
    const std::vector<CString> names = NamesInList(listText);
    for (const CString& wanted : options.components) {
        if (!Contains(names, wanted))
            return wanted;
    }
    return CString();
}

}  // namespace

SetupExitCode RunSilentSetup(const SetupOptions& options)
{
    // Nothing with effects (a registry value, a stopped player) before the command line's
    // component names have been judged against the list.
    SetupSession session;
    session.ChoosePartnerId(options.partnerIdGiven ? options.partnerId : CString());
    std::unique_ptr<ComponentEntry[]> components(new ComponentEntry[kComponentCapacity]);
    session.pComponents = components.get();
    session.nComponentCount = 0;

    // The same requests as the wizard's start, in the same order: the terms are fetched
    // although nobody reads them here.
    FetchTermsText();
    session.ComputeInstallFolder();
    const CString listText = session.FetchComponentList();

    // Without a list the names cannot be judged: they are not wrong, only missing. The
    // install goes on, and the components they name count as not installed.
    int namedButUnlisted = 0;
    if (options.componentsGiven && listText.IsEmpty()) {
        namedButUnlisted = int(options.components.size());
        SetupLog::Write("components: no component list, so none of the %d /COMPONENTS names is installed",
                        namedButUnlisted);
    } else {
        const CString unknown = UnknownComponent(options, listText);
        if (!unknown.IsEmpty()) {
            SetupLog::Write(
                "refused: /COMPONENTS names \"%s\", which the component list does not hold; nothing installed",
                unknown.GetString());
            return ExitBadCommandLine;
        }
    }

    StopRunningProcesses(kPlayerExe);
    session.RecordPartnerId();
    CreateFolderPath(session.strInstallDir);
    SilentInstallUi ui(options);
    InstallOutcome outcome = RunInstallSequence(session.Target(), ui);
    outcome.componentsMissing += namedButUnlisted;

    FinishChoices choices;
    choices.shortcuts = !options.noShortcuts;
    choices.startPlayer = !options.noRun;
    FinishInstall(session.strInstallDir, choices);
    return ExitCodeOf(outcome);
}
