// veklib: the package folders under the user's roaming application data in
// which connector launchers keep their logs.
#pragma once

// Full path of the innermost package folder (appData\vendor\package\P-L\sub),
// created one level at a time where the text says so, as a new heap string;
// null when a join fails or a level cannot be created.
char *vek_createPathSpecialFolderPacchetto(const char *packageName, const char *subfolder,
                                           const char *vendorFolder, const char *appDataFolder,
                                           bool includeExeFolder, const char *exeFolder);
