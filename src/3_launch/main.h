// main: the launch sequence. Finds out who the launcher is from its own name,
// chooses the INI file, the Environment and the log location, stages the
// update-check script, and starts the interpreter with the script and the
// launcher's re-quoted arguments. Owns every buffer of the run.
#pragma once

// The whole run; returns the process exit code.
int launch_main(int argc, char **argv);

// True when argument asks the export tool to wait: "-p" followed by digits,
// or "-p" alone followed by an argument of digits.
bool parseQuenbarodisArguments(const char *argument, const char *next);

// True when the words from entry 1 to argc - 1 of argTable (null after the
// last) ask the launcher to wait: "-q" or "cron" anywhere, and in export-tool
// mode also the rule of parseQuenbarodisArguments.
bool mustWaitForScript(int argc, char **argTable, bool exportToolMode);

// Sets the Environment (VEK_ENVIRONMENT_SIZE) of a connector-client launcher
// from its log name by the ordered keyword table.
void setAmbienteConnettori(char *environment, const char *name);

// Sets the log folder and log base name (VEK_PATH_SIZE each) for the
// Environment.
void setPathLog(const char *environment, const char *exeFolder, const char *logName,
                char *logFolder, char *logBaseName);

struct Configuration;

// Copies the interpreter and the update-check script from the connector folder
// beside the launcher. False with a message in errorText on failure.
bool prepareVantor(const char *exeFolder, const char *exeBaseName, const Configuration *configuration,
                   char *errorText);
