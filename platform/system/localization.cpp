#include "platform/system/localization.h"

#include "platform/system/system.h"

#include <QFile>
#include <QFontMetrics>
#include <QHash>
#include <QLocale>

namespace {

int g_localeOverride = 0;
QString g_folder;

struct Catalogue {
    QString file;
    QHash<QString, QString> texts;
    bool loaded = false;
};
Catalogue g_catalogue;

QString unescape(const QString &s)
{
    QString out;
    out.reserve(s.size());
    for (int i = 0; i < s.size(); ++i) {
        if (s[i] == u'\\' && i + 1 < s.size()) {
            const QChar c = s[++i];
            out += c == u't' ? QChar(u'\t') : c == u'n' ? QChar(u'\n') : c == u'r' ? QChar(u'\r') : c;
        } else {
            out += s[i];
        }
    }
    return out;
}

const QHash<QString, QString> &catalogue()
{
    const QString file = catalogueFolder() + QStringLiteral("/%1.txt").arg(localeId());
    if (g_catalogue.loaded && g_catalogue.file == file)
        return g_catalogue.texts;
    g_catalogue = Catalogue{file, {}, true};
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return g_catalogue.texts;
    while (!f.atEnd()) {
        QString line = QString::fromUtf8(f.readLine());
        if (line.endsWith(u'\n'))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype tab = line.indexOf(u'\t');
        if (tab <= 0)
            continue;
        g_catalogue.texts.insert(unescape(line.left(tab)), unescape(line.mid(tab + 1)));
    }
    return g_catalogue.texts;
}

// Locale identifiers of the interface languages, by QLocale name.
int lcidOf(const QLocale &l)
{
    static const QHash<QString, int> ids = {
        {"en_US", 1033}, {"en_GB", 2057}, {"en_AU", 3081}, {"en_CA", 4105}, {"en_IE", 6153},
        {"en_NZ", 5129}, {"fr_FR", 1036}, {"fr_CA", 3084}, {"fr_BE", 2060}, {"fr_CH", 4108},
        {"de_DE", 1031}, {"de_AT", 3079}, {"de_CH", 2055}, {"es_ES", 3082}, {"es_MX", 2058},
        {"es_US", 21514}, {"it_IT", 1040}, {"pt_BR", 1046}, {"pt_PT", 2070}, {"nl_NL", 1043},
        {"nl_BE", 2067}, {"ja_JP", 1041}, {"zh_CN", 2052}, {"zh_TW", 1028}, {"ko_KR", 1042},
        {"ru_RU", 1049}, {"pl_PL", 1045}, {"sv_SE", 1053}, {"da_DK", 1030}, {"nb_NO", 1044},
        {"fi_FI", 1035}, {"cs_CZ", 1029}, {"hu_HU", 1038}, {"tr_TR", 1055}, {"el_GR", 1032},
        {"he_IL", 1037}, {"ar_SA", 1025}, {"vi_VN", 1066}, {"uk_UA", 1058}, {"ro_RO", 1048},
    };
    if (l.language() == QLocale::C)
        return 1033;
    return ids.value(l.name(), 1033);
}

} // namespace

int localeId() { return g_localeOverride ? g_localeOverride : lcidOf(QLocale()); }

void setLocaleOverride(int id) { g_localeOverride = id; }

void setCatalogueFolder(const QString &folder)
{
    g_folder = folder;
    g_catalogue.loaded = false;
}

QString catalogueFolder()
{
    return g_folder.isEmpty() ? programFolder() + QStringLiteral("/data/locale") : g_folder;
}

int QelLocalizeGetLocale() { return localeId(); }

int QelLocalizeLookupVariant(const QVariant &key, QVariant &value)
{
    const auto &texts = catalogue();
    const auto it = texts.constFind(key.toString());
    if (it == texts.constEnd())
        return 1;
    value = *it;
    return 0;
}

int QelLocalizeGetCurSizeIFont(const QFont &font, LocnSize &size)
{
    const QFontMetrics fm(font);
    size.cx = fm.averageCharWidth();
    size.cy = fm.height();
    return 0;
}
