// The credentials of a proxy that asks for them (407), kept for the run. Companies and
// schools put the setup behind such proxies: without an answer every request fails.
//
// They come from the command line (/PROXYUSER, /PROXYPASS: an unattended install, no
// prompt) or from WinInet's own proxy-credentials dialog, which the wizard shows over its
// window at the first 407. Either way they live in this process's memory only: they go to
// WinInet as the proxy's credentials (Proxy-Authorization, never Authorization, so the
// publisher's servers never see them), and neither the password nor that header is ever
// logged or written anywhere.
#pragma once

#include <windows.h>
#include <wininet.h>

#include "CString.h"

// How often a run may ask for the proxy's credentials without getting an answer that
// works; a Cancel ends the asking at once.
const int kMaxProxyPrompts = 3;

// The window of the wizard sends itself this message (wParam 0, lParam the request
// handle) to show the prompt on its own thread; it answers with AnswerProxyPrompt.
const UINT WM_PROXY_PROMPT = WM_USER + 1010;

// Credentials given on the command line: every request offers them from the first on.
void UseProxyCredentials(const CString& user, const CString& password);
// From now on a 407 opens WinInet's dialog over this window (the wizard). Requests made
// on another thread ask through WM_PROXY_PROMPT, so the dialog runs on the window's own.
void AskForProxyCredentialsIn(HWND hOwner);
// The wizard's answer to WM_PROXY_PROMPT: the dialog's result.
LRESULT AnswerProxyPrompt(LPARAM lParam);

// Before a request is sent: hands it the credentials known so far. WinInet answers a
// 407 with them by itself, so a 407 that still comes back means they were refused.
void OfferProxyCredentials(HINTERNET hRequest);
// After a reply of 407: true when the request is to be sent again with credentials the
// user has just typed in; false when it fails (none known and nobody to ask, the ones
// given refused, the prompt cancelled or shown too often). Logs which.
bool AnswerProxyChallenge(HINTERNET hRequest);
