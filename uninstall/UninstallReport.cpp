#include "UninstallReport.h"

namespace {

// The system error codes this file speaks of (winerror.h), for a Windows-free build.
const unsigned long kErrorAccessDenied = 5;
const unsigned long kErrorSharingViolation = 32;
const unsigned long kErrorLockViolation = 33;
const unsigned long kErrorDirNotEmpty = 145;
const unsigned long kErrorFilenameExcedRange = 206;
const unsigned long kErrorUserMappedFile = 1224;

void AppendList(CString* text, const char* heading, const std::vector<UninstallReport::Item>& items)
{
    if (items.empty())
        return;
    *text += "\r\n\r\n";
    *text += heading;
    for (const UninstallReport::Item& item : items) {
        *text += "\r\n  " + item.what;
        if (!item.why.IsEmpty())
            *text += " (" + item.why + ")";
    }
}

}  // namespace

bool UninstallReport::WaitsForRestartIn(const CString& folder) const
{
    const CString prefix = folder + "\\";
    for (const Item& item : m_atRestart) {
        if (item.what.Left(prefix.GetLength()) == prefix)
            return true;
    }
    return false;
}

int UninstallReport::ExitCode() const
{
    if (!m_failed.empty())
        return kExitFailed;
    return m_atRestart.empty() ? kExitRemoved : kExitRestartNeeded;
}

CString UninstallReport::Message() const
{
    CString text;
    if (!m_failed.empty())
        text = "멜보라 플레이어의 일부를 제거하지 못했습니다.";
    else if (!m_atRestart.empty())
        text = "멜보라 플레이어를 제거했습니다. 사용 중인 파일은 컴퓨터를 다시 시작하면 제거됩니다.";
    else if (m_removed.empty())
        text = "제거할 멜보라 플레이어 항목이 없습니다.";
    else
        text = "멜보라 플레이어를 제거했습니다.";
    AppendList(&text, "제거한 항목:", m_removed);
    AppendList(&text, "다시 시작하면 제거되는 항목:", m_atRestart);
    AppendList(&text, "제거하지 못한 항목:", m_failed);
    AppendList(&text, "남겨 둔 항목:", m_kept);
    return text;
}

CString ReasonForError(unsigned long code)
{
    switch (code) {
    case kErrorAccessDenied: return "접근이 거부되었습니다";
    case kErrorSharingViolation:
    case kErrorLockViolation:
    case kErrorUserMappedFile: return "다른 프로그램이 사용 중입니다";
    case kErrorDirNotEmpty: return "폴더가 비어 있지 않습니다";
    case kErrorFilenameExcedRange: return "경로가 너무 깁니다";
    default: {
        CString text;
        text.Format("오류 %lu", code);
        return text;
    }
    }
}

bool IsInUseError(unsigned long code)
{
    // Not "access denied": a folder named as a file and a file this program may not
    // delete are refused that way too, and neither goes at the next restart.
    return code == kErrorSharingViolation || code == kErrorLockViolation || code == kErrorUserMappedFile;
}
