// A growable array of 32-bit values (colours, ids).
#pragma once

#include <cstdint>
#include <vector>

class CDWordArray {
public:
    int GetSize() const { return int(m_values.size()); }
    void RemoveAll() { m_values.clear(); }
    uint32_t GetAt(int nIndex) const { return m_values.at(size_t(nIndex)); }
    int Add(uint32_t value) { m_values.push_back(value); return int(m_values.size()) - 1; }
    uint32_t operator[](int nIndex) const { return GetAt(nIndex); }

private:
    std::vector<uint32_t> m_values;
};
