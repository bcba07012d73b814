// Reading a dialog template resource and its initialisation data (RT_DLGINIT), for the
// hosting of ActiveX controls that a template names by class id.
#pragma once

#include <windows.h>

// Longest window class name the system accepts, without its terminator.
const int kMaxClassName = 256;

// Calls onClassId(name) for every item of a DLGTEMPLATE or DLGTEMPLATEEX whose class is a
// class id ("{...}"), the name converted to 8-bit text.
void ForEachClassIdItem(const void* pTemplate, void (*onClassId)(const char* pszClassName));

// The persisted state of control nID in the initialisation data of template nIDTemplate:
// the data of its first "load from stream" record (message 0x0376). False when there is none.
bool FindPersistedState(UINT nIDTemplate, UINT nID, const BYTE** ppData, DWORD* pcbData);
