#pragma once

#include <QString>

// The program keeps portacom and kx7p.cfg and writes its poll files in its working directory.
// Started from a shell that is the shell's directory; started from the desktop menu, where
// the directory would be whatever the session happened to use, it is a folder of the user's
// own, made on first use.
namespace workingfolder {

inline constexpr char kUserFolderName[] = "Corvane";

// HOME/Corvane.
QString userFolderPath(const QString &home);
// HOME/Corvane, made when missing. Empty when it cannot be made or is not a folder.
QString ensureUserFolder(const QString &home);

} // namespace workingfolder
