#include "DialogTemplate.h"

#include "CWinApp.h"

namespace {

// Message of an initialisation record that carries a control's persisted state as a
// stream (what IPersistStreamInit::Load reads).
const WORD kLoadFromStream = 0x0376;
const WORD kDlgInitType = 240;   // RT_DLGINIT

// Walks the variable-length fields of a dialog template. The template comes from our
// own resources and the dialog manager trusts it the same way; only the class names,
// which we copy, are bounded.
class TemplateReader {
public:
    explicit TemplateReader(const void* p) : m_pBase(static_cast<const BYTE*>(p)), m_pos(0) {}

    WORD Word() { return ReadAs<WORD>(); }
    DWORD Dword() { return ReadAs<DWORD>(); }
    void Skip(size_t n) { m_pos += n; }
    void AlignToDword() { m_pos = (m_pos + 3) & ~size_t(3); }
    // A text or ordinal field (0: none, 0xFFFF: an ordinal follows, else a wide string).
    void SkipTextOrOrdinal()
    {
        const WORD first = Word();
        if (first == 0xFFFF)
            Skip(sizeof(WORD));
        else if (first != 0)
            SkipStringRest();
    }
    // The class field of an item: copies a wide class name that starts with "{" into
    // pszName (8-bit) and returns true; skips any other form.
    bool ReadClassId(char (&pszName)[kMaxClassName + 1])
    {
        const size_t start = m_pos;
        const WORD first = Word();
        if (first == 0xFFFF) {
            Skip(sizeof(WORD));
            return false;
        }
        if (first == 0)
            return false;
        SkipStringRest();
        if (first != L'{')
            return false;
        const WCHAR* pWide = reinterpret_cast<const WCHAR*>(m_pBase + start);
        const int cch = int((m_pos - start) / sizeof(WCHAR));   // with the terminator
        if (cch > kMaxClassName + 1)
            return false;
        return ::WideCharToMultiByte(CP_ACP, 0, pWide, cch, pszName, kMaxClassName + 1, nullptr, nullptr) > 0;
    }

private:
    template <typename T>
    T ReadAs()
    {
        T value;
        ::CopyMemory(&value, m_pBase + m_pos, sizeof(T));
        m_pos += sizeof(T);
        return value;
    }
    void SkipStringRest()
    {
        while (Word() != 0) {
        }
    }

    const BYTE* m_pBase;
    size_t m_pos;
};

}  // namespace

void ForEachClassIdItem(const void* pTemplate, void (*onClassId)(const char* pszClassName))
{
    TemplateReader in(pTemplate);
    const WORD version = in.Word();
    const WORD signature = in.Word();
    const bool bExtended = version == 1 && signature == 0xFFFF;
    DWORD style;
    if (bExtended) {
        in.Dword();   // help id
        in.Dword();   // extended style
        style = in.Dword();
    } else {
        style = MAKELONG(version, signature);
        in.Dword();   // extended style
    }
    const WORD nItems = in.Word();
    in.Skip(4 * sizeof(short));   // x, y, cx, cy
    in.SkipTextOrOrdinal();       // menu
    in.SkipTextOrOrdinal();       // window class
    in.SkipTextOrOrdinal();       // caption
    if (style & DS_SETFONT) {
        in.Word();                // point size
        if (bExtended)
            in.Skip(sizeof(WORD) + 2);   // weight, italic, character set
        in.SkipTextOrOrdinal();   // typeface
    }
    for (WORD i = 0; i < nItems; ++i) {
        in.AlignToDword();
        in.Skip(bExtended ? 3 * sizeof(DWORD) : 2 * sizeof(DWORD));   // [help id,] styles
        in.Skip(4 * sizeof(short));
        in.Skip(bExtended ? sizeof(DWORD) : sizeof(WORD));           // control id
        char szClass[kMaxClassName + 1];
        if (in.ReadClassId(szClass))
            onClassId(szClass);
        in.SkipTextOrOrdinal();   // title
        in.Skip(in.Word());       // creation data
    }
}

bool FindPersistedState(UINT nIDTemplate, UINT nID, const BYTE** ppData, DWORD* pcbData)
{
    const char* name = MAKEINTRESOURCEA(nIDTemplate);
    const char* type = MAKEINTRESOURCEA(kDlgInitType);
    HINSTANCE hInst = AfxFindResourceHandle(name, type);
    HRSRC hRes = ::FindResourceA(hInst, name, type);
    HGLOBAL hData = hRes ? ::LoadResource(hInst, hRes) : nullptr;
    const BYTE* p = hData ? static_cast<const BYTE*>(::LockResource(hData)) : nullptr;
    if (!p)
        return false;
    const DWORD size = ::SizeofResource(hInst, hRes);
    // Records: control id (WORD), message (WORD), data size (DWORD), data; a zero id ends.
    DWORD pos = 0;
    while (size - pos >= 8) {
        WORD id, message;
        DWORD cb;
        ::CopyMemory(&id, p + pos, sizeof(id));
        ::CopyMemory(&message, p + pos + 2, sizeof(message));
        ::CopyMemory(&cb, p + pos + 4, sizeof(cb));
        if (id == 0 || cb > size - pos - 8)
            break;
        if (id == nID && message == kLoadFromStream) {
            *ppData = p + pos + 8;
            *pcbData = cb;
            return true;
        }
        pos += 8 + cb;
    }
    return false;
}
