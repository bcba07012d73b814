#include "ComponentList.h"

#include "ProductConstants.h"

namespace {

// Takes the text up to the next "|" off the front of `row`. Without a "|" the field is
// empty and the row stays as it is, so its text flows on to the next field.
CString TakeField(CString& row)
{
    const int bar = row.Find('|');
    if (bar < 0)
        return CString();
    const CString field = row.Left(bar);
    row = row.Mid(bar + 1);
    return field;
}

// The component a row describes, its check path already below the Program Files folder;
// false (and the entry unfinished) when the row may name nothing on the user's machine.
bool ReadRow(CString row, const CString& programFilesDir, PublisherScheme scheme, ComponentEntry& entry)
{
    CString checkField = TakeField(row);
    const CString givenUrl = TakeField(row);
    if (!IsConfinedCheckPath(checkField) || !IsPlainFileName(givenUrl.Mid(givenUrl.ReverseFind('/') + 1)))
        return false;
    const CString url = ServerGivenAddress(givenUrl, scheme);
    entry.name = TakeField(row);
    entry.description = TakeField(row);
    entry.pageUrl = ServerGivenAddress(TakeField(row), scheme);
    entry.mandatoryFlag = row;

    checkField.Replace('/', '\\');
    entry.checkPath = programFilesDir + checkField;   // no separator: the field brings its own
    // The installer is stored in the check path's folder under the name ending its URL.
    const CString fileName = url.Mid(url.ReverseFind('/') + 1);
    entry.localPath = entry.checkPath.Left(entry.checkPath.ReverseFind('\\')) + "\\" + fileName;
    entry.url = url;
    return true;
}

}  // namespace

bool IsConfinedCheckPath(const CString& field)
{
    // A leading separator; the place itself follows it.
    if (field.IsEmpty() || (field[0] != '/' && field[0] != '\\'))
        return false;
    const CString place = field.Mid(1);
    if (!IsPlainRelativePath(place))
        return false;
    int end = 0;
    while (end < place.GetLength() && place[end] != '/' && place[end] != '\\')
        ++end;
    const CString top = place.Left(end);
    return top.CompareNoCase(MELVORA_PRODUCT_NAME) != 0 && top.Find('~') < 0;
}

bool IsMissingAnswer(const CString& text)
{
    return text.IsEmpty() || text.Find("404 Not Found") >= 0;
}

CString ComponentListUrl(const char* productOrigin, const CString& partnerId)
{
    CString url;
    url.Format("%s/app/setup/setup.php?pid=%s", productOrigin, EncodeUrlComponent(partnerId).GetString());
    return url;
}

void ParseComponentRows(const CString& text, const CString& programFilesDir, const PathExistsFn& exists,
                        PublisherScheme scheme, ComponentEntry* entries, int& count)
{
    if (programFilesDir.IsEmpty())
        return;   // nothing to confine the rows to
    // Rows are cut by position, so a long text is read once rather than copied per row.
    int start = 0;
    bool last = false;
    while (!last && count < kComponentCapacity) {
        int end = text.Find('^', start);
        if (end < 0) {
            end = text.GetLength();
            last = true;
        }
        // A dropped row leaves nothing behind: the record is built aside and stored only
        // when accepted, so the list holds exactly its accepted entries.
        ComponentEntry entry;
        if (ReadRow(text.Mid(start, end - start), programFilesDir, scheme, entry) && !exists(entry.checkPath)) {
            entry.hItem = entries[count].hItem;
            entries[count] = entry;
            ++count;
        }
        start = end + 1;
    }
}

void ParseVersionReply(const CString& reply, CString& playerVersion, CString& updaterVersion)
{
    CString rest = reply.Mid(reply.Find('|') + 1);   // without a "|", nothing is dropped
    const int bar = rest.Find('|');
    if (bar < 0) {
        playerVersion = rest;
        updaterVersion = rest;
        return;
    }
    playerVersion = rest.Left(bar);
    rest = rest.Mid(bar + 1);
    const int next = rest.Find('|');
    updaterVersion = next < 0 ? rest : rest.Left(next);
}

bool IsUsableVersion(const CString& version)
{
    bool blank = true;
    for (int i = 0; i < version.GetLength(); ++i) {
        const char ch = version[i];
        if (ch == '<' || ch == '>')
            return false;   // markup: a web page (a network's login page) answered, not the server
        blank = blank && (ch == ' ' || ch == '\t');
    }
    return !blank && !HasControlCharacter(version);
}

CString DownloadBaseUrl(const char* productOrigin)
{
    CString url;
    url.Format("%s%s", productOrigin, "/app/ver_file");
    return url;
}

CString UninstallFileUrl(const CString& downloadBase, const char* remoteName)
{
    CString url;
    url.Format("%s/uninstall/%s", downloadBase.GetString(), remoteName);
    return url;
}

CString VersionedFileUrl(const CString& downloadBase, const CString& partnerId, const CString& version,
                         const char* fileName)
{
    CString url;
    url.Format("%s/%s/%s/%s", downloadBase.GetString(), EncodeUrlComponent(partnerId).GetString(),
               EncodeUrlComponent(version).GetString(), fileName);
    return url;
}

CString InstalledFilePath(const CString& installDir, const char* fileName)
{
    CString path;
    path.Format("%s\\%s", installDir.GetString(), fileName);
    return path;
}
