// The special folders a tree can be rooted at or started in, in their enumeration order.
#pragma once

namespace qm {

enum TSpecialFolder {
    sfAltStartup,
    sfAppData,
    sfBitBucket,
    sfCommonAltStartup,
    sfCommonDesktopDir,
    sfCommonFavorites,
    sfCommonPrograms,
    sfCommonStartMenu,
    sfCommonStartup,
    sfConnections,
    sfControls,
    sfCookies,
    sfDesktop,
    sfDesktopDir,
    sfDrives,
    sfFavorites,
    sfFonts,
    sfHistory,
    sfInternet,
    sfInternetCache,
    sfNetHood,
    sfNetwork,
    sfNone,
    sfPersonal,
    sfPrinters,
    sfPrintHood,
    sfPrograms,
    sfRecentFiles,
    sfSendTo,
    sfStartMenu,
    sfStartup,
    sfTemplates,
};

// The folder identifier the special folder has in the classic shell numbering (sfNone and
// sfDesktop share 0).
int SpecialFolderCsidl(TSpecialFolder Folder);

}  // namespace qm
