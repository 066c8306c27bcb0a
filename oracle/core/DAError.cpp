#include "oracle/core/DAError.h"

#include <map>

namespace oracle {

namespace {

// The Russian labels are in code page 1251, as every text of the library.
const std::map<int, std::string>& Messages() {
    static const std::map<int, std::string> table = {
        {SUpdateFailed, "Update failed. Found %d records"},
        {SRefreshFailed, "Refresh failed. Found %d records"},
        {SInvalidFetchRows, "FetchRows must be 1..10000"},
        {SNoCorrespondParam, "Not found field corresponding parameter %s"},
        {SUnknownParamDataType, "Unknown type of parameter %s"},
        {SRecordChanged, "Record was changed by another user"},
        {SNotBlob, "Field is not BLOB"},
        {SConnectionNotDefined, "Connection is not defined"},
        {SCannotConnect, "Cannot connect to database"},
        // Log-on form labels: Caption, UsernameLabel, PasswordLabel, ServerLabel,
        // ConnectButton, CancelButton at base + 0..5.
        {0, "\xD1\xEE\xE5\xE4\xE8\xED\xE5\xED\xE8\xE5"},
        {1, "\xC8\xEC\xFF"},
        {2, "\xCF\xE0\xF0\xEE\xEB\xFC"},
        {3, "\xD1\xE5\xF0\xE2\xE5\xF0"},
        {4, "\xD1\xEE\xE5\xE4\xE8\xED\xE8\xF2\xFC"},
        {5, "\xCE\xF2\xEC\xE5\xED\xE0"},
        {100, "Connect"}, {101, "User Name"}, {102, "Password"}, {103, "Server"}, {104, "Connect"}, {105, "Cancel"},
        {200, "Ouverture de session"}, {201, "Nom utilisateur"}, {202, "Mot de passe"},
        {203, "Chaone centrale"}, {204, "Ok"}, {205, "Annuler"},
        {300, "Anmeldung"}, {301, "Benutzername"}, {302, "Kennwort"}, {303, "Host-Zeichenfolge"},
        {304, "Ok"}, {305, "Abbrechen"},
        {400, "Connessione"}, {401, "Nome Utente"}, {402, "Parola d'ordine"}, {403, "Stringa Conn.Host"},
        {404, "Ok"}, {405, "Elimina"},
        {500, "Rejestracja"}, {501, "Uiytkowhik"}, {502, "Hasio"}, {503, "Opis hosta"}, {504, "Ok"}, {505, "Anuluj"},
        // Portuguese letters outside code page 1251 become their base letters.
        {600, "Entrar em Sessao"}, {601, "Nome de Utilizador"}, {602, "Senha"}, {603, "Ligacao ao Host"},
        {604, "Ok"}, {605, "Cancelar"},
        {700, "Conectar"}, {701, "Usuario"}, {702, "Clave"}, {703, "Cadena Conexiyn"}, {704, "Ok"}, {705, "Cancelar"},
    };
    return table;
}

}  // namespace

std::string LoadDAString(int id) {
    const auto& table = Messages();
    const auto found = table.find(id);
    return found == table.end() ? std::string() : found->second;
}

void DADatabaseError(int id) { platform::DatabaseError(LoadDAString(id)); }

}  // namespace oracle
