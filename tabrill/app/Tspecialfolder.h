#pragma once

#include <QString>

// The shell's special folders, in the alphabetical order of their Windows names.
enum TSpecialFolderKind : int
{
    sfAltStartup,
    sfAppData,
    sfBitBucket,
    sfCommonAltStartup,
    sfCommonDesktopDirectory,
    sfCommonFavorites,
    sfCommonPrograms,
    sfCommonStartMenu,
    sfCommonStartup,
    sfControls,
    sfCookies,
    sfDesktop,
    sfDesktopDirectory,
    sfDrives,
    sfFavorites,
    sfFonts,
    sfHistory,
    sfInternet,
    sfInternetCache,
    sfNetHood,
    sfNetwork,
    sfPersonal,
    sfPrinters,
    sfPrintHood,
    sfPrograms,
    sfRecent,
    sfSendTo,
    sfStartMenu,
    sfStartup,
    sfTemplates,
};

// The Windows CSIDL number of a kind, or -1 for a value outside the enumeration.
int SpecialFolderCsidl(TSpecialFolderKind kind);

// Full path of the folder without a trailing separator; empty text when the system has no
// folder of that kind. Raises Exception("指定されたコードが見つかりません。") for a kind outside
// the enumeration.
QString GetSpecialFolderPath(TSpecialFolderKind kind);
