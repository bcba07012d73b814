// Creating a folder together with every missing folder above it.
#pragma once

#include "CString.h"

// Creates each missing folder of `path` ("\" separators), top down. Non-zero when the
// last folder of the path was created by this call; 0 otherwise, also when it already
// existed. Stops at the first level that can be neither found nor created; folders made
// below that point stay.
int CreateFolderPath(const CString& path);
