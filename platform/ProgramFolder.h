#pragma once
// The program folder (root of the per-user data folder and of the settings file) and
// the login name of the user.

#include <QString>

namespace ProgramFolder {
// PENNARO_HOME when set, else $XDG_DATA_HOME/Pennaro/ (default ~/.local/share/Pennaro/).
// Always ends with "/". The folder is not created here.
QString path();
// The login name of the effective user (getpwuid), else $USER, else "nouser".
QString userName();
} // namespace ProgramFolder
