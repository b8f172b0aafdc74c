#pragma once

#include <QDir>
#include <QString>

// The application data folder and a few file-system helpers around it.

// The system's per-user application folder ("Library/Application Support" on macOS, the generic
// data location elsewhere); nothing is created.
QDir g_osAppDir();
// Absolute path of the default base folder, "FerroVantis" inside g_osAppDir().
QString g_defaultSaveDirPath();
// The base folder named by the redirect file when something exists there, else the empty text. The
// text is taken without surrounding white space (unless something exists under the text as it is),
// and a relative one from the redirect file's folder.
QString g_dataSaveDirLink();
// The redirect file's path, whether it exists or not.
QString g_dataSaveDirRedirectFile();
// The base folder the redirect file names when it cannot serve as one (missing, not a folder, or
// one the data folder can be neither found nor made in); empty without such a redirect.
QString g_unusableRedirectTarget();
// Writes the redirect file; takes effect from the next start of the application.
void g_setDataSaveDirLink(const QString &path);
// The data folder, decided at the first call of the run and created on every call.
QDir g_dataSaveDir();
// Deletes a folder with its listed content; hidden entries stay, symbolic links are removed
// without touching what they point at.
void g_delDirCascade(const QString &path);
// `path` when nothing exists there, else the first free variant "base(n).suffix".
QString g_getValidFilePath(const QString &path);
// Hands a file or folder to the system's opener and waits for it.
void g_openFileOrFolder(const QString &path);
// Hands a link to the system's opener and waits for it.
void g_openLink(const QString &link);
