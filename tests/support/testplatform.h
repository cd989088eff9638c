// testplatform: the doors to the system that only the tests, their tools and
// the benchmark need: starting a program with its output captured and reading
// a version resource (the holdfile tool holds a file itself). Paths are in
// Windows form, as everywhere in the launcher. Kept apart from the launcher's
// own platform layer, so launcher.exe carries none of it.
#pragma once

#include <cstddef>

// Starts the command line in folder and waits for it. Its standard output and
// standard error go to the files outPath and errPath (replaced), its standard
// input reads nothing. Returns its exit code (natively 128 + N for a child
// killed by signal N); a program that cannot be started gives 1 and
// "Errore durante l'esecuzione del comando: <error number>" in errorText
// (VEK_TEXT_SIZE characters), which is otherwise left empty.
int tp_executeCaptured(const char *command, const char *folder, const char *outPath, const char *errPath,
                       char *errorText);

// The version resource of an executable: file and product version as
// "a.b.c.d" and the text of its string named key (say "OriginalFilename"),
// each into a buffer of size characters. False when the file has none
// (always natively, where programs carry no version resource).
bool tp_getFileVersion(const char *path, const char *key, char *fileVersion, char *productVersion,
                       char *value, size_t size);

// The application manifest of an executable (resource 1 of type 24) into
// text of size characters; false when it has none (always natively).
bool tp_getManifest(const char *path, char *text, size_t size);
