#include "core/prefs.h"

#include <variant>

#include "core/errors.h"
#include "core/state.h"
#include "platform/settings/settings.h"
#include "platform/vb/vb.h"

namespace {

bool g_prefsLoaded = false;
qint16 g_storedModeScratch = 0;
std::function<void(char, const QString &, const QString &)> g_observer;

using Target = std::variant<bool *, qint16 *, qint32 *, QString *>;

struct Pref {
    const char *key; // as read at start-up
    Target var;
    const char *def; // default as text
};

// Start-up read order.
const Pref kPrefs[] = {
    {"g_APP_STATE", &g_APP_STATE, "0"},
    {"g_dbMode", &g_storedModeScratch, "0"},
    {"g_blnReturnDefault", &g_blnReturnDefault, "True"},
    {"g_intBaseLineBrightness", &g_intBaseLineBrightness, "128"},
    {"g_intDefaultPaperSource", &g_intDefaultPaperSource, "0"},
    {"g_blnPromptOnDelete", &g_blnPromptOnDelete, "True"},
    {"g_IntDefaultRescanAction", &g_IntDefaultRescanAction, "1"},
    {"g_blnDetectBlank", &g_blnDetectBlank, "True"},
    {"g_intBlankSensitivity", &g_intBlankSensitivity, "3"},
    {"g_blnDefaultDuplex", &g_blnDefaultDuplex, "True"},
    {"g_blnDoByteAlign", &g_blnDoByteAlign, "True"},
    {"g_blnprocessBatch", &g_blnProcessBatch, "True"},
    {"g_strBarcodeLog", &g_strBarcodeLog, ""},
    {"g_strByteAlignLog", &g_strByteAlignLog, ""},
    {"g_blnImprint", &g_blnImprint, "True"},
    {"gdtDocType", &gdtDocType, "0"},
    {"g_AutoNextPageInterface", &g_AutoNextPageInterface, "1"},
    {"g_AutoMaticRedaction", &g_AutoMaticRedaction, "0"},
    {"g_RedactionDefaultFillColor", &g_RedactionDefaultFillColor, "0"},
    {"g_blnUseDefaultPrinter", &g_blnUseDefaultPrinter, "0"},
    {"g_intDefaultPrintScale", &g_intDefaultPrintScale, "0"},
};

void assign(const Target &t, const QString &text)
{
    std::visit(
        [&text](auto *p) {
            using T = std::remove_pointer_t<decltype(p)>;
            if constexpr (std::is_same_v<T, bool>)
                *p = CBool(text);
            else if constexpr (std::is_same_v<T, qint16>)
                *p = CInt(text);
            else if constexpr (std::is_same_v<T, qint32>)
                *p = CLng(text);
            else
                *p = text;
        },
        t);
}

QString textOf(const Target &t)
{
    return std::visit(
        [](auto *p) -> QString {
            using T = std::remove_pointer_t<decltype(p)>;
            if constexpr (std::is_same_v<T, bool>)
                return *p ? QStringLiteral("True") : QStringLiteral("False");
            else if constexpr (std::is_same_v<T, QString>)
                return *p;
            else
                return QString::number(*p);
        },
        t);
}

} // namespace

QString readSetting(const QString &section, const QString &key, const QString &def)
{
    if (g_observer)
        g_observer('R', section, key);
    return GetSetting(APP_TITLE, section, key, def);
}

void writeSetting(const QString &section, const QString &key, const QString &value)
{
    if (g_observer)
        g_observer('W', section, key);
    SaveSetting(APP_TITLE, section, key, value);
}

StartupSettings readStartupSettings(
    const std::function<void(const QString &, const VbError &)> &onBadValue)
{
    StartupSettings s;
    s.filterState = readSetting(QStringLiteral("Settings"), QStringLiteral("FilterSettings2"),
                                QStringLiteral("NOTFOUND"));
    s.dsn = readSetting(QStringLiteral("frmConfig"), QStringLiteral("DSN"));
    for (const Pref &p : kPrefs) {
        const QString key = QString::fromLatin1(p.key);
        const QString text = readSetting(QStringLiteral("Preferences"), key, QString::fromLatin1(p.def));
        try {
            assign(p.var, text);
        } catch (const VbError &e) {
            assign(p.var, QString::fromLatin1(p.def));
            if (onBadValue)
                onBadValue(key, e);
        }
    }
    s.storedMode = g_storedModeScratch;
    g_prefsLoaded = true;
    return s;
}

void applyPreferenceFixups()
{
    if (g_intBaseLineBrightness == 0)
        g_intBaseLineBrightness = 128;
    if (g_intDefaultPaperSource < 0)
        g_intDefaultPaperSource = 0;
    if (g_strBarcodeLog.isEmpty())
        g_strBarcodeLog = Now() + ": " + "Barcode Scan Log Initialized" + vbCrLf;
    if (g_strByteAlignLog.isEmpty())
        g_strByteAlignLog = QStringLiteral("c:\\bytealignlog.txt");
}

void writePreferences()
{
    const QString empty;
    const QList<std::pair<const char *, Target>> order = {
        {"g_APP_STATE", &g_APP_STATE},
        {"g_dbMode", &g_dbMode},
        {"g_blnReturnDefault", &g_blnReturnDefault},
        {"g_intBaseLineBrightness", &g_intBaseLineBrightness},
        {"g_intDefaultPaperSource", &g_intDefaultPaperSource},
        {"g_blnPromptOnDelete", &g_blnPromptOnDelete},
        {"g_IntDefaultRescanAction", &g_IntDefaultRescanAction},
        {"g_blnImprint", &g_blnImprint},
        {"g_blnDetectBlank", &g_blnDetectBlank},
        {"g_intBlankSensitivity", &g_intBlankSensitivity},
        {"g_strBarcodeLog", const_cast<QString *>(&empty)},
        {"g_blnDefaultDuplex", &g_blnDefaultDuplex},
        {"g_blnDoByteAlign", &g_blnDoByteAlign},
        {"g_strByteAlignLog", const_cast<QString *>(&empty)},
        {"g_blnProcessBatch", &g_blnProcessBatch},
        {"gdtDocType", &gdtDocType},
        {"g_AutoNextPageInterface", &g_AutoNextPageInterface},
        {"g_AutoMaticRedaction", &g_AutoMaticRedaction},
        {"g_RedactionDefaultFillColor", &g_RedactionDefaultFillColor},
        {"g_blnUseDefaultPrinter", &g_blnUseDefaultPrinter},
        {"g_intDefaultPrintScale", &g_intDefaultPrintScale},
    };
    for (const auto &[key, var] : order)
        writeSetting(QStringLiteral("Preferences"), QString::fromLatin1(key), textOf(var));
}

bool preferencesLoaded() { return g_prefsLoaded; }
void setPreferencesLoaded(bool loaded) { g_prefsLoaded = loaded; }

void setSettingsObserver(std::function<void(char, const QString &, const QString &)> observer)
{
    g_observer = std::move(observer);
}
