// Text of the program's code page as UTF-16, which is how the system's "A" calls hand it
// on: the system's ANSI code page on Windows (framework/WideText.cpp), code page 949 in
// the native build, the code page of its literals (framework/WideTextNative.cpp).
#pragma once

#include <vector>

#include "CString.h"

// UTF-16 code units, without a terminator.
typedef std::vector<char16_t> WideText;

// False, and nothing in *pWide, for bytes that are no text in that code page.
bool ToUtf16(const CString& text, WideText* pWide);
