#include "service/host/TamsvardResources.h"

#include "platform/base/StringTable.h"

namespace {

constexpr char16_t kEnglishDescription[] =
    u"Version %s Provides the interface for the Calvora Remote Control Device";

constexpr platform::StringResource kTamsvardStrings[] = {
    {IDS_SERVICENAME, platform::kLanguageNeutral, u"Tamsvard"},
    {IDS_SERVICE_DESCRIPTION, 1031,
     u"V%s Stellt die Schnittstelle f\u00fcr das Calvora Fernbedienger\u00e4t zur Verf\u00fcgung"},
    {IDS_SERVICE_DESCRIPTION, 1033, kEnglishDescription},
    {IDS_SERVICE_DESCRIPTION, 1034,
     u"Version %s Proporciona el interfaz para el dispositivo de mando a distancia Calvora"},
    {IDS_SERVICE_DESCRIPTION, 1041, kEnglishDescription},
    {IDS_SERVICE_DESCRIPTION, platform::kLanguageSystemDefault, kEnglishDescription},
    {IDS_SERVICE_DESCRIPTION, 3084,
     u"Version %s Fournit l'interface pour le dispositif de t\u00e9l\u00e9commande Calvora"},
};

}  // namespace

void DeclareTamsvardResources() { platform::DeclareProgramStrings(kTamsvardStrings); }
