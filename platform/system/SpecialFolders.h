#pragma once

#include <QString>

// The shell's special folders, addressed by their Windows CSIDL numbers, answered from the XDG
// locations of the user. Kinds that name no folder on Linux (the recycle bin, the network, the
// printers, ...) give empty text, as the shell does for virtual folders.
namespace Platform {

namespace Csidl {
inline constexpr int Desktop = 0;
inline constexpr int Internet = 1;
inline constexpr int Programs = 2;
inline constexpr int Controls = 3;
inline constexpr int Printers = 4;
inline constexpr int Personal = 5;
inline constexpr int Favorites = 6;
inline constexpr int Startup = 7;
inline constexpr int Recent = 8;
inline constexpr int SendTo = 9;
inline constexpr int BitBucket = 10;
inline constexpr int StartMenu = 11;
inline constexpr int DesktopDirectory = 16;
inline constexpr int Drives = 17;
inline constexpr int Network = 18;
inline constexpr int NetHood = 19;
inline constexpr int Fonts = 20;
inline constexpr int Templates = 21;
inline constexpr int CommonStartMenu = 22;
inline constexpr int CommonPrograms = 23;
inline constexpr int CommonStartup = 24;
inline constexpr int CommonDesktopDirectory = 25;
inline constexpr int AppData = 26;
inline constexpr int PrintHood = 27;
inline constexpr int AltStartup = 29;
inline constexpr int CommonAltStartup = 30;
inline constexpr int CommonFavorites = 31;
inline constexpr int InternetCache = 32;
inline constexpr int Cookies = 33;
inline constexpr int History = 34;
} // namespace Csidl

// Full path of the folder without a trailing separator, or empty text when the kind has no
// folder here. The folder need not exist yet.
QString GetSpecialFolderLocation(int csidl);

} // namespace Platform
