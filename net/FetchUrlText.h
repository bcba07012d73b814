// Reads a short text document (terms of use, component list) from an http URL.
#pragma once

#include "CString.h"

// Empties `text`, then fills it with the body the server sent, whatever its status (an
// error page included): the caller judges the content, and may ask for the status
// (pStatus: 0 when no reply came). A URL without a scheme is taken as http; URLs of any
// other scheme than plain http are not requested. Returns 0 only when no internet
// session could be opened, else 1, whether or not anything was read.
int FetchUrlText(const CString& url, CString& text, unsigned long* pStatus = nullptr);
