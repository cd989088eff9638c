// windows_helper_messages: the texts that the platform layer writes into an
// error text or onto standard error, shared by its two backends so that each
// stands once in the code. Private to src/2_platform (and to the tests that
// check the texts); the launch code never includes it. The ones with a
// number are format strings for str_format and stay literals, so that the
// compiler checks their arguments.
#pragma once

#define WIN_MSG_NO_OWN_PATH "Errore durante l'ottenimento del percorso dell'eseguibile."
#define WIN_MSG_START_FAILED "Errore durante l'esecuzione del comando: %lu"
#define WIN_MSG_WAIT_FAILED "Errore durante l'attesa del comando: %lu"
#define WIN_MSG_EXIT_CODE_FAILED "Errore durante la lettura del codice di uscita: %lu"
