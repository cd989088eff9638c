// main: the launch sequence, the export tool's wait rule, the Environment of
// connector-client launchers, the log location of every Environment and the
// staging of the update-check script.
#include "main.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "autoit3.h"
#include "configuration.h"
#include "log.h"
#include "veklib.h"
#include "vekstringlib.h"
#include "windows_helper.h"

// Writes a formatted message to standard error, after what standard output
// holds: with both streams joined, a message never overtakes the console
// trace written before it.
static void printError(const char *format, ...)
{
    fflush(stdout);
    va_list args;
    va_start(args, format);
    vfprintf(stderr, format, args);
    va_end(args);
}

// Fields of the launcher's global log context.
static const char *const LAUNCH_APP_NAME = "frascombe_a3x";
static const char *const LAUNCH_APP_VERSION = "1.1.7.0";

// The launcher's exit codes for its own failures.
enum {
    EXIT_BEFORE_LOG = 1,   // a failure before the global log exists
    EXIT_AFTER_LOG = 4     // a failure once it exists
};

// True when name ends in suffix, ignoring the case of A to Z; a name that
// equals the suffix qualifies.
static bool endsWithIgnoringCase(const char *name, const char *suffix)
{
    size_t nameLength = strlen(name);
    size_t suffixLength = strlen(suffix);
    if (nameLength < suffixLength) return false;
    return str_equalsIgnoringCase(name + nameLength - suffixLength, suffix);
}

// True when text is not empty and holds only the ASCII digits 0 to 9.
static bool isAllDigits(const char *text)
{
    if (text[0] == '\0') return false;
    for (const char *c = text; *c != '\0'; c++) {
        if (*c < '0' || *c > '9') return false;
    }
    return true;
}

bool parseQuenbarodisArguments(const char *argument, const char *next)
{
    if (strncmp(argument, "-p", 2) != 0) return false;
    if (argument[2] != '\0') return isAllDigits(argument + 2);
    if (stringIsNullOrEmpty(next)) return false;
    return isAllDigits(next);
}

bool mustWaitForScript(int argc, char **argTable, bool exportToolMode)
{
    bool wait = false;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argTable[i], "-q") == 0 || strcmp(argTable[i], "cron") == 0) wait = true;
        if (exportToolMode && parseQuenbarodisArguments(argTable[i], argTable[i + 1])) wait = true;
    }
    return wait;
}

// --- Environment detection -----------------------------------------------------

struct Keyword {
    const char *keyword;       // searched in the log name, case ignored
    const char *environment;   // stored exactly as written
};

// Tested in this order: the first keyword found anywhere in the name wins, so
// a keyword that contains a later one ("TORVOSQL", "torvo") comes first.
static const Keyword KEYWORDS[] = {
    {"TORVOSQL", "TORVOSQL"},
    {"torvo", "TORVO"},
    {"gondavire", "GV"},
    {"HUVZOL", "HUVZOL"},
    {"SarpelZOL", "SarpelZOL"},
    {"KRUDZOLSQL", "KRUDSQL"},
    {"ZolWsConn", "WS"},
    {"ZolRoluConn", "ROLU"},
    {"ZolwFelbokConn", "wFelbok"},
    {"ZolQodConn", "QODSQL"},
    {"fatture", "KRUD"},
    {"f24", "KRUD"},
    {"lirmak", "LIRMAK"},
    {"quenbarodis", "QUENBARODIS"},
    {"pelmor", "PELMOR"},
};

void setAmbienteConnettori(char *environment, const char *name)
{
    for (const Keyword &row : KEYWORDS) {
        // A search that ran out of memory (-1) counts as no match.
        if (str_stringInStr(name, row.keyword) > 0) {
            str_assign(environment, row.environment, VEK_ENVIRONMENT_SIZE);
            return;
        }
    }
    str_assign(environment, "CONNETTORI", VEK_ENVIRONMENT_SIZE);
}

// --- Log location ----------------------------------------------------------------

enum LogPlace {
    LOG_BESIDE_EXE,     // executable folder, fixed base name
    LOG_IN_PACKAGE,     // package folder under roaming application data
    LOG_KRUD,           // executable folder, base name from the log name
    LOG_QUENBARODIS     // executable folder\Log, base name from computer and user
};

struct LogRow {
    const char *environment;   // compared ignoring case
    LogPlace place;
    const char *package;       // package name, for LOG_IN_PACKAGE
    const char *baseName;      // log base name, where fixed
};

static const LogRow LOG_ROWS[] = {
    {"QOD", LOG_BESIDE_EXE, NULL, "Esegui_da_QOD"},
    {"KRUD", LOG_KRUD, NULL, NULL},
    {"KRUDSQL", LOG_IN_PACKAGE, "KRUDZOLSQL", "KRUDZOLSQL"},
    {"HUVZOL", LOG_BESIDE_EXE, NULL, "HUVZOL"},
    {"SarpelZOL", LOG_BESIDE_EXE, NULL, "SarpelZOL"},
    {"TORVOSQL", LOG_IN_PACKAGE, "TORVOSQL", "TORVOSQL"},
    {"WS", LOG_IN_PACKAGE, "WS", "ZolWsConn"},
    {"ROLU", LOG_IN_PACKAGE, "ROLU", "ZolRoluConn"},
    {"wFelbok", LOG_IN_PACKAGE, "wFelbok", "ZolwFelbokConn"},
    {"QODSQL", LOG_IN_PACKAGE, "QODSQL", "ZolQodConn"},
    {"TORVO", LOG_BESIDE_EXE, NULL, "FATTURA"},
    {"GV", LOG_IN_PACKAGE, "GV", "gondavirev2"},
    {"LIRMAK", LOG_BESIDE_EXE, NULL, "lirmak"},
    {"QUENBARODIS", LOG_QUENBARODIS, NULL, NULL},
    {"PELMOR", LOG_IN_PACKAGE, "pelmor", "pelmor"},
};

// The row of the Environment, or null for every other Environment.
static const LogRow *findLogRow(const char *environment)
{
    for (const LogRow &row : LOG_ROWS) {
        if (str_equalsIgnoringCase(environment, row.environment)) return &row;
    }
    return NULL;
}

// Sets the export tool's log: executable folder\Log and
// "quenbarodis.<computer>.<user>". Without either name, or when the Log folder
// cannot be joined, the log goes beside the executable as "quenbarodis"
// followed by whichever names there are, each after a dot.
static void setQuenbarodisLog(const char *exeFolder, char *logFolder, char *logBaseName)
{
    const char *computer = win_getComputerName();
    const char *user = win_getCurrentUserName();
    char *folder = (computer != NULL && user != NULL) ? win_concatPaths(exeFolder, "Log") : NULL;
    if (folder != NULL) {
        str_assign(logFolder, folder, VEK_PATH_SIZE);
        free(folder);
        str_format(logBaseName, VEK_PATH_SIZE, "quenbarodis.%s.%s", computer, user);
        return;
    }
    str_assign(logFolder, exeFolder, VEK_PATH_SIZE);
    str_format(logBaseName, VEK_PATH_SIZE, "quenbarodis%s%s%s%s", computer != NULL ? "." : "",
               computer != NULL ? computer : "", user != NULL ? "." : "", user != NULL ? user : "");
}

void setPathLog(const char *environment, const char *exeFolder, const char *logName,
                char *logFolder, char *logBaseName)
{
    const LogRow *row = findLogRow(environment);
    if (row == NULL) {
        str_assign(logFolder, exeFolder, VEK_PATH_SIZE);
        str_assign(logBaseName, logName, VEK_PATH_SIZE);
        return;
    }
    switch (row->place) {
    case LOG_QUENBARODIS:
        setQuenbarodisLog(exeFolder, logFolder, logBaseName);
        return;
    case LOG_KRUD:
        str_assign(logFolder, exeFolder, VEK_PATH_SIZE);
        str_assign(logBaseName, str_stringInStr(logName, "atture") > 0 ? "FATTURA" : "F24", VEK_PATH_SIZE);
        return;
    case LOG_IN_PACKAGE: {
        char *appData = win_getAppDataPath();
        char *package =
            vek_createPathSpecialFolderPacchetto(row->package, "Log", "VEK", appData, true, exeFolder);
        free(appData);
        // No package folder to be had: the log goes beside the executable.
        str_assign(logFolder, package != NULL ? package : exeFolder, VEK_PATH_SIZE);
        free(package);
        str_assign(logBaseName, row->baseName, VEK_PATH_SIZE);
        return;
    }
    case LOG_BESIDE_EXE:
        str_assign(logFolder, exeFolder, VEK_PATH_SIZE);
        str_assign(logBaseName, row->baseName, VEK_PATH_SIZE);
        return;
    }
}

// --- Update-check staging ----------------------------------------------------------

// True when folder\prefix file fits a path buffer and is written into dest;
// otherwise false with a message in errorText.
static bool formatDestination(char *dest, const char *folder, const char *prefix, const char *file,
                               char *errorText)
{
    int length = str_format(dest, VEK_PATH_SIZE, "%s\\%s%s", folder, prefix, file);
    if (length >= 0 && length < VEK_PATH_SIZE) return true;
    str_format(errorText, VEK_TEXT_SIZE, "Percorso di destinazione troppo lungo: [%s\\%s%s]", folder, prefix,
               file);
    return false;
}

// True when src was copied over dst; otherwise false with the system's own
// text for the failure in errorText.
static bool copyReplacing(const char *src, const char *dst, char *errorText)
{
    unsigned long errorCode = 0;
    if (win_copyFile(src, dst, &errorCode)) return true;
    char *systemText = win_getSystemMessage(errorCode);
    str_format(errorText, VEK_TEXT_SIZE, "Errore durante la copia del file [%s]->[%s]\n%s", src, dst,
               systemText != NULL ? systemText : "Errore sconosciuto durante la copia del file.");
    win_freeSystemMessage(systemText);
    return false;
}

// The connector-side path folder\file as a new heap string, or null when it
// cannot be formed; display receives the path for messages either way.
static char *connectorFile(const char *folder, const char *file, char *display)
{
    char *path = win_concatPaths(folder, file);
    if (path != NULL) {
        str_assign(display, path, VEK_TEXT_SIZE);
    } else {
        str_format(display, VEK_TEXT_SIZE, "%s\\%s", folder, file);
    }
    return path;
}

bool prepareVantor(const char *exeFolder, const char *exeBaseName, const Configuration *configuration,
                   char *errorText)
{
    errorText[0] = '\0';
    if (configuration == NULL) configuration = conf_get();
    const char *connector = configuration->pathconnettore;
    if (stringIsNullOrEmpty(connector)) {
        if (configuration->debug_to_console) {
            printError("prepareVantor: pathconnettore vuoto! esecuzione di prepareVantor interrotta\n");
        }
        return true;
    }

    char display[VEK_TEXT_SIZE];
    char destination[VEK_PATH_SIZE];
    char message[VEK_TEXT_SIZE];

    char *sourceInterpreter = connectorFile(connector, "autoit3.exe", display);
    if (sourceInterpreter == NULL || !win_fileExists(sourceInterpreter)) {
        str_format(errorText, VEK_TEXT_SIZE, "Eseguibile Autoit3.exe [%s] non trovato", display);
        free(sourceInterpreter);
        return false;
    }
    bool copied = formatDestination(destination, exeFolder, "", "autoit3.exe", errorText) &&
                  copyReplacing(sourceInterpreter, destination, errorText);
    free(sourceInterpreter);
    if (!copied) return false;

    const char *found = str_stristr(exeBaseName, "vantor");
    size_t prefixLength = found != NULL ? (size_t)(found - exeBaseName) : 0;
    char *prefix = (char *)malloc(prefixLength + 1);
    if (prefix == NULL && prefixLength > 0) {
        str_assign(errorText, "Errore durante di allocazione memoria per estrazione prefisso vantor",
                   VEK_TEXT_SIZE);
        return false;
    }
    if (prefix != NULL) {
        memcpy(prefix, exeBaseName, prefixLength);
        prefix[prefixLength] = '\0';
    }

    char *sourceScript = connectorFile(connector, "vantor.a3x", display);
    if (sourceScript == NULL || !win_fileExists(sourceScript)) {
        str_format(errorText, VEK_TEXT_SIZE, "File [%s] non trovato", display);
        free(sourceScript);
        free(prefix);
        return false;
    }
    copied = formatDestination(destination, exeFolder, "", "vantor.a3x", errorText) &&
             copyReplacing(sourceScript, destination, errorText);
    if (!copied || prefix == NULL) {
        // Without even an empty prefix the script is staged all the same.
        free(sourceScript);
        free(prefix);
        return copied;
    }

    str_format(message, sizeof message, "Prefisso=%s", prefix);
    log_write(NULL, LOG_LEVEL_INFO, message);
    copied = formatDestination(destination, exeFolder, prefix, "vantor.a3x", errorText);
    free(prefix);
    if (copied) {
        str_format(message, sizeof message, "In corso copia del file [%s]->[%s] ...", sourceScript,
                   destination);
        log_write(NULL, LOG_LEVEL_INFO, message);
        unsigned long errorCode = 0;
        copied = win_copyFile(sourceScript, destination, &errorCode);
        if (!copied) {
            str_format(errorText, VEK_TEXT_SIZE, "Errore durante la copia del file  [%s]->[%s]", sourceScript,
                       destination);
        }
    }
    free(sourceScript);
    return copied;
}

// --- The launch sequence ------------------------------------------------------------

// Picks the INI file beside the executable and sets the Environment: the first
// of Esegui_da_qod.ini ("QOD"), connettoreclient.ini (from the log name) and
// frascombe_a3x.ini ("ALTRO", present or not). Returns the INI path as a new
// heap string, or null when not even the last one can be joined.
static char *chooseIniFile(const char *exeFolder, const char *logName, char *environment)
{
    char *path = win_concatPaths(exeFolder, "Esegui_da_qod.ini");
    if (path != NULL && win_fileExists(path)) {
        str_assign(environment, "QOD", VEK_ENVIRONMENT_SIZE);
        return path;
    }
    free(path);
    path = win_concatPaths(exeFolder, "connettoreclient.ini");
    if (path != NULL && win_fileExists(path)) {
        setAmbienteConnettori(environment, logName);
        return path;
    }
    free(path);
    str_assign(environment, "ALTRO", VEK_ENVIRONMENT_SIZE);
    return win_concatPaths(exeFolder, "frascombe_a3x.ini");
}

// Writes the interpreter's command prefix into command (VEK_TEXT_SIZE): the
// quoted interpreter path and the script file name, the latter protected only
// when it holds a character that needs it. Both come from path buffers, so
// the prefix always fits.
static void writeCommandPrefix(char *command, const char *exeFolder, const char *scriptName)
{
    int length = str_format(command, VEK_TEXT_SIZE, "\"%s\\autoit3.exe\" ", exeFolder);
    autoit3_writeProtectedWord(command + length, VEK_TEXT_SIZE - length, scriptName);
}

// True when the script file name (base name and ".a3x") and its path fit
// their buffers: then the base name holds the script file name and scriptPath
// its path; otherwise nothing is changed.
static bool makeScriptPath(char *scriptPath, const char *exeFolder, char *exeBaseName)
{
    char scriptName[VEK_PATH_SIZE];
    int length = str_format(scriptName, sizeof scriptName, "%s.a3x", exeBaseName);
    if (length < 0 || length >= VEK_PATH_SIZE) return false;
    if (!win_combinePath(scriptPath, exeFolder, scriptName)) return false;
    str_assign(exeBaseName, scriptName, VEK_PATH_SIZE);
    return true;
}

// Releases the first count words of the argument table.
static void releaseWords(int count, char **argTable)
{
    for (int i = 0; i < count; i++) {
        free(argTable[i]);
        argTable[i] = NULL;
    }
}

int launch_main(int argc, char **argv)
{
    char errorText[VEK_TEXT_SIZE];
    char exePath[VEK_PATH_SIZE];
    char exeFolder[VEK_PATH_SIZE];
    char exeBaseName[VEK_PATH_SIZE];
    char exeNameForLog[VEK_PATH_SIZE];
    char environment[VEK_ENVIRONMENT_SIZE];
    char logFolder[VEK_PATH_SIZE];
    char logBaseName[VEK_PATH_SIZE];
    char interpreterPath[VEK_PATH_SIZE];
    char scriptPath[VEK_PATH_SIZE];
    char *argTable[AUTOIT3_TABLE_SIZE];
    char command[VEK_TEXT_SIZE];
    char message[VEK_TEXT_SIZE];
    int count = 0;

    // 1. Own identity.
    win_initProcess();
    win_getExeInfo(exePath, exeFolder, exeBaseName, errorText);
    if (errorText[0] != '\0') {
        printError("%s\n", errorText);
        return EXIT_BEFORE_LOG;
    }

    // 2. Mode flags from the end of the base name.
    bool updateCheckMode = endsWithIgnoringCase(exeBaseName, "vantor");
    bool exportToolMode = endsWithIgnoringCase(exeBaseName, "quenbarodis");

    // 3. Log name: the base name, or in update-check mode a non-empty third argument.
    str_assign(exeNameForLog, exeBaseName, VEK_PATH_SIZE);
    if (updateCheckMode && argc > 3 && !stringIsNullOrEmpty(argv[3])) {
        str_assign(exeNameForLog, argv[3], VEK_PATH_SIZE);
    }

    // 4. INI file and Environment.
    char *iniPath = chooseIniFile(exeFolder, exeNameForLog, environment);

    // 5. Configuration.
    if (iniPath == NULL) {
        printError("File ini non valorizzato -> ESCO\n");
        return EXIT_BEFORE_LOG;
    }
    if (win_fileExists(iniPath) && !conf_load(iniPath)) {
        printError("Errore caricamento da conf_load del file '%s' -> ESCO\n", iniPath);
        free(iniPath);
        return EXIT_BEFORE_LOG;
    }
    free(iniPath);

    // 6. Console trace.
    if (conf_get()->debug_to_console) {
        if (updateCheckMode) fputs("VANTOR\n", stdout);
        printf("Ambiente: %s\n", environment);
        printf("exe_name_for_log: %s\n", exeNameForLog);
    }

    // 7. Log location.
    memset(logFolder, 0, sizeof logFolder);
    memset(logBaseName, 0, sizeof logBaseName);
    setPathLog(environment, exeFolder, exeNameForLog, logFolder, logBaseName);
    if (conf_get()->debug_to_console) printf("Nome file log: [%s\\%s.log]\n", logFolder, logBaseName);

    // 8. Global log: base name with ".log", joined to the folder.
    size_t baseLength = strlen(logBaseName);
    if (baseLength + strlen(".log") >= VEK_PATH_SIZE) {
        printError("Nome del file di log '%s' troppo lungo -> ESCO\n", logBaseName);
        return EXIT_BEFORE_LOG;
    }
    str_format(logBaseName + baseLength, VEK_PATH_SIZE - baseLength, ".log");
    char *logPath = win_concatPaths(logFolder, logBaseName);
    // Rotation only when the INI asks for it with both limits (0 keeps it off).
    const Configuration *limits = conf_get();
    log_setGlobalContext(logPath, LAUNCH_APP_NAME, LAUNCH_APP_VERSION, limits->log_max_files,
                         limits->log_max_size, limits->debug_to_console);
    free(logPath);

    // 9. Start-up lines.
    if (updateCheckMode) log_write(NULL, LOG_LEVEL_INFO, "VANTOR");
    str_format(message, sizeof message, "Ambiente: %s", environment);
    log_write(NULL, LOG_LEVEL_INFO, message);
    str_format(message, sizeof message, "Directory dell'eseguibile: %s", exeFolder);
    log_write(NULL, LOG_LEVEL_INFO, message);
    str_format(message, sizeof message, "Nome dell'eseguibile: %s", exeBaseName);
    log_write(NULL, LOG_LEVEL_INFO, message);

    // 10. Update-check staging; a failure is logged and the launch goes on.
    if (updateCheckMode) {
        if (stringIsNullOrEmpty(conf_get()->pathconnettore)) {
            log_write(NULL, LOG_LEVEL_ERROR,
                    "prepareVantor: Non e' valorizzato pathconnettore. Impossibile eseguire prepareVantor.");
            log_write(NULL, LOG_LEVEL_INFO, "L'esecuzione comunque continua");
        } else if (!prepareVantor(exeFolder, exeBaseName, conf_get(), errorText)) {
            str_format(message, sizeof message, "prepareVantor KO %s", errorText);
            log_write(NULL, LOG_LEVEL_ERROR, message);
            log_write(NULL, LOG_LEVEL_INFO, "L'esecuzione comunque continua");
        }
    }

    // 11. Interpreter present.
    win_combinePath(interpreterPath, exeFolder, "autoit3.exe");
    if (!win_fileExists(interpreterPath)) {
        log_write(NULL, LOG_LEVEL_ERROR,
                  "Il file autoit3.exe non e' presente nella stessa directory dell'eseguibile.");
        return EXIT_AFTER_LOG;
    }

    // 12. Script present: the base name becomes the script file name.
    if (!makeScriptPath(scriptPath, exeFolder, exeBaseName)) {
        str_format(message, sizeof message, "Il percorso del file %s\\%s.a3x e' troppo lungo.", exeFolder,
                   exeBaseName);
        log_write(NULL, LOG_LEVEL_ERROR, message);
        return EXIT_AFTER_LOG;
    }
    if (!win_fileExists(scriptPath)) {
        str_format(message, sizeof message,
                   "Il file %s non e' presente nella stessa directory dell'eseguibile.", scriptPath);
        log_write(NULL, LOG_LEVEL_ERROR, message);
        return EXIT_AFTER_LOG;
    }

    // 13. Split the raw command line.
    if (!parseCommandLineAsAutoIt3(win_getCommandLine(), &count, argTable)) {
        log_write(NULL, LOG_LEVEL_ERROR,
                  "Errore durante l'allocazione di memoria per gli argomenti della riga di comando.");
        return EXIT_AFTER_LOG;
    }

    // 14. Wait decision.
    bool wait = mustWaitForScript(count, argTable, exportToolMode);

    // 15. Command: the prefix, then the parameters written straight after it.
    writeCommandPrefix(command, exeFolder, exeBaseName);
    Autoit3Params written = autoit3_appendParams(command, count, argTable);

    // 16. Release the words, whatever the parameters came to.
    releaseWords(count, argTable);
    if (written == AUTOIT3_PARAMS_FAILED) {
        log_write(NULL, LOG_LEVEL_ERROR, "Errore durante la costruzione dei parametri del comando.");
        return EXIT_AFTER_LOG;
    }

    // 17. A command past its buffer has been logged; nothing is started.
    if (written == AUTOIT3_COMMAND_TOO_LONG) return EXIT_AFTER_LOG;

    // 18. Run.
    str_format(message, sizeof message, "Eseguo: %s", command);
    log_write(NULL, LOG_LEVEL_INFO, message);
    str_format(message, sizeof message, "wait: %s", wait ? "true" : "false");
    log_write(NULL, LOG_LEVEL_INFO, message);
    int result = win_executeCommand(command, exeFolder, wait, errorText);
    if (result != 0) {
        str_format(message, sizeof message, "Errore durante l'esecuzione del comando: %s", errorText);
        log_write(NULL, LOG_LEVEL_ERROR, message);
    }
    str_format(message, sizeof message, "Ho finito il mio lavoro! - exitCode=%d", result);
    log_write(NULL, LOG_LEVEL_INFO, message);
    return result;
}
