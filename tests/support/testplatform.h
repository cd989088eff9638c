// testplatform: the door to the system that only the tests and the benchmark
// need: starting a program with its output captured. Paths are in Windows
// form, as everywhere in the launcher. Kept apart from the launcher's own
// platform layer, so launcher.exe carries none of it.
#pragma once

// Starts the command line in folder and waits for it. Its standard output and
// standard error go to the files outPath and errPath (replaced), its standard
// input reads nothing. Returns its exit code (natively 128 + N for a child
// killed by signal N); a program that cannot be started gives 1 and
// "Errore durante l'esecuzione del comando: <error number>" in errorText
// (VEK_TEXT_SIZE characters), which is otherwise left empty.
namespace ts {

int executeCaptured(const char *command, const char *folder, const char *outPath, const char *errPath,
                    char *errorText);

}  // namespace ts
