#pragma once
// Hands files, folders and web pages to the desktop: the file's own program,
// the file manager, the web browser.

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

// Replaces what the three functions above do (tests); an empty function
// restores the desktop's handling.
void SetDesktopOpenerForTesting(std::function<void(const QUrl&)> opener);

}  // namespace tarn::ui
