#pragma once
// Hands files, folders and web pages to the desktop: the file's own program,
// the file manager, the web browser, the trash.

#include <QString>
#include <QUrl>
#include <functional>
#include <string>

namespace tarn::ui {

// Opens a file with the program the desktop associates with it. False (and
// logged) when the desktop's opener could not be started.
bool OpenWithDefaultProgram(const std::string& path);
// Shows a folder in the file manager; false as above.
bool OpenFolder(const std::string& dir);
// Opens a web page in the browser.
void OpenWebPage(const QString& url);

// The address of a page of the program's web site ("/help").
QString WebPageUrl(const QString& path);

// Moves a file to the desktop's trash (the freedesktop.org trash folder, with
// the original path and the deletion date beside it, so file managers can put
// it back). False when it cannot go there, for instance on a file system
// without a trash folder of its own; the file then stays where it is and
// `why` tells the reason.
bool MoveToTrash(const std::string& path, std::string* why);

// Replaces what the open functions above do (tests): `opener` is called and
// the open reports `opens`. An empty function restores the desktop's handling.
void SetDesktopOpenerForTesting(std::function<void(const QUrl&)> opener, bool opens = true);
// Replaces the trash (tests): `trash` returns whether the file went there. An
// empty function restores the desktop's trash.
void SetTrashForTesting(std::function<bool(const std::string&)> trash);

}  // namespace tarn::ui
