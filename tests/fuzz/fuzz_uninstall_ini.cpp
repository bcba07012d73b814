// uninstall.ini's reader on arbitrary text: whatever it accepts stays inside the install
// folder (plain names only, never "..", ".", an empty name or a drive) or the product's keys.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "uninstall/UninstallIni.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CString text;
    text.Append(reinterpret_cast<const char*>(data), int(size));
    std::vector<RemovalEntry> entries;
    if (!ReadUninstallIni(text, &entries) && !entries.empty())
        std::abort();
    for (const RemovalEntry& entry : entries) {
        const CString wrapped = "\\" + entry.path + "\\";
        if (entry.kind == RemovalKind::Key) {
            if (entry.path.Left(16) != "Software\\MELVORA" || wrapped.Find("\\..\\") >= 0)
                std::abort();
        } else if (wrapped.Find("\\..\\") >= 0 || wrapped.Find("\\.\\") >= 0 || wrapped.Find("\\\\") >= 0 ||
                   entry.path.Find(':') >= 0 || entry.path.Find('/') >= 0) {
            std::abort();
        }
    }
    return 0;
}
