// Reading the two server texts that decide what is installed besides the fixed files
// (the component list and the version reply), and the download tree's URL and path
// forms. Windows-free: the file system's answer comes in through a callback.
#pragma once

#include <functional>

#include "CString.h"
#include "ComponentEntry.h"
#include "PlainFileName.h"
#include "UrlRules.h"

// A server text counts as missing when it is empty or holds "404 Not Found" anywhere.
bool IsMissingAnswer(const CString& text);

// "<origin>/app/setup/setup.php?pid=<partner id>", the id encoded as a URL component. The
// origin is the product web server as URLs begin, "http://host[:port]" or "https://...".
CString ComponentListUrl(const char* productOrigin, const CString& partnerId);

// Whether a file or folder exists (the installer asks the file system).
using PathExistsFn = std::function<bool(const CString& path)>;

// A component row's check path as the server sent it, confined below the Program Files
// folder: it starts with "/" or "\" and every name between separators is a plain file
// name. Its first name is neither the install folder's (MELVORA, in any case) nor one
// holding "~" (which could be that folder's short name): components never go into the
// player's folder.
bool IsConfinedCheckPath(const CString& field);

// Appends the accepted rows of a component list to entries[0 .. kComponentCapacity - 1],
// advancing `count`. Rows are separated by "^", fields by "|": check path (below the
// Program Files folder, "/" separated), installer URL, name, description, page URL and
// the mandatory flag (all that follows the fifth "|"). A row is dropped when its check
// path is not confined (IsConfinedCheckPath), when the last segment of its installer URL,
// the name the installer is stored under, is not a plain file name, or when its check
// path exists (the component is already installed); without a Program Files folder every
// row is dropped. Once the list is full the rest of the text is not read; records past
// `count` are never written. In a build for https, an installer or page URL that is not
// https is read as an empty field (ServerGivenAddress).
void ParseComponentRows(const CString& text, const CString& programFilesDir, const PathExistsFn& exists,
                        PublisherScheme scheme, ComponentEntry* entries, int& count);

// Splits the version reply "<ignored>|<player>|<updater>[|...]": with one "|" the second
// field is both versions, with none the whole reply is. Nothing is trimmed.
void ParseVersionReply(const CString& reply, CString& playerVersion, CString& updaterVersion);
// A version that is empty or blank ("OK||0.9.1"), holds a control character (a line break
// after the last field, say) or holds "<" or ">" (an HTML page, such as a network's login
// page, in place of the reply) makes the whole reply unusable: it would otherwise reach
// request lines, the download tree's paths (as an empty segment) and registry values.
bool IsUsableVersion(const CString& version);

// The download tree on the product web server.
// "<origin>/app/ver_file"
CString DownloadBaseUrl(const char* productOrigin);
// "<base>/uninstall/<file name>": the server names them "Uninstall.exe" and "Uninstall.ini".
CString UninstallFileUrl(const CString& downloadBase, const char* remoteName);
// "<base>/<partner id>/<version>/<file name>", the id and the version each encoded as a
// URL component (a version such as "1.2.3" stays as it is).
CString VersionedFileUrl(const CString& downloadBase, const CString& partnerId, const CString& version,
                         const char* fileName);
// "<install folder>\<file name>"
CString InstalledFilePath(const CString& installDir, const char* fileName);
