// The component list reader on arbitrary server text, with a file system in which some
// check paths exist (so rows are dropped and replaced). Checks that the list never grows
// past its ten records, that records past the count stay untouched, and that every
// accepted entry is consistent with the row cutting rules and stays below the folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "install/ComponentList.h"

namespace {

const char kProgramFiles[] = "C:\\PF";

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// "Installed" when the path ends in "x" or names the Program Files folder itself.
bool FakeExists(const CString& path)
{
    return path == kProgramFiles || (!path.IsEmpty() && path[path.GetLength() - 1] == 'x');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The text fetch never hands over a zero byte, so neither does this.
    CString text;
    text.Append(reinterpret_cast<const char*>(data), int(size));

    std::unique_ptr<ComponentEntry[]> entries(new ComponentEntry[kComponentCapacity]);
    int count = 0;
    int asked = 0;
    ParseComponentRows(text, kProgramFiles,
                       [&asked](const CString& path) {
                           ++asked;
                           return FakeExists(path);
                       },
                       PublisherScheme::Http, entries.get(), count);

    Check(count >= 0 && count <= kComponentCapacity);
    Check(asked >= count);
    for (int i = 0; i < kComponentCapacity; ++i) {
        const ComponentEntry& e = entries[i];
        if (i >= count) {
            Check(e.checkPath.IsEmpty() && e.name.IsEmpty() && e.url.IsEmpty() && e.localPath.IsEmpty());
            continue;
        }
        // Below the folder, never above it or in the install folder.
        for (CString path : {e.checkPath, e.localPath}) {
            path.MakeLower();
            Check(path.Find("c:\\pf\\") == 0 && path.Find("..") < 0);
            Check(path.Left(14) != "c:\\pf\\melvora\\" && path != "c:\\pf\\melvora");
        }
        Check(!FakeExists(e.checkPath));
        Check(e.checkPath.Find('/') < 0 && e.checkPath.Find('^') < 0 && e.checkPath.Find('|') < 0);
        for (const CString* field : {&e.url, &e.name, &e.description, &e.pageUrl})
            Check(field->Find('|') < 0 && field->Find('^') < 0);
        Check(e.mandatoryFlag.Find('^') < 0);
        Check(e.localPath.Find('/') < 0);
        Check(e.localPath.Right(e.url.GetLength() - e.url.ReverseFind('/') - 1) ==
              e.url.Mid(e.url.ReverseFind('/') + 1));
    }
    // A second text is appended after the first and still stops at ten; read for https,
    // every address it keeps is one the fetch would take as https.
    const int before = count;
    ParseComponentRows(text, kProgramFiles, FakeExists, PublisherScheme::Https, entries.get(), count);
    Check(count <= kComponentCapacity);
    for (int i = before; i < count; ++i) {
        for (const CString* address : {&entries[i].url, &entries[i].pageUrl})
            Check(address->IsEmpty() || IsFetchableUrl(*address, PublisherScheme::Https));
    }
    return 0;
}
