// The annotation-set format: versioned UTF-8 JSON, the same bytes in a page's TIFF tag and in an
// annotation-set file.
//
// { "format": "quorla-annot", "version": 1,
//   "page": { "width", "height", "dpiX", "dpiY" },
//   "properties": [ { "name", "value": <typed> } ],
//   "items": [ { "type", "bounds": [left, top, width, height], "lineColor", "fillColor",
//                "lineWidth", "text", "font": { "name", "size", "bold", "italic" },
//                "justification", "orientation", "user": [ { "key", "value": <typed> } ] } ] }
// <typed> is { "t": "null|bool|i16|i32|i64|f64|str|bytes|list", "v": ... }; i64 values and
// non-finite f64 values are strings. Items are listed bottom first. Permission properties and
// selection are never written.

#include "platform/annot/annotdocument.h"
#include "platform/annot/annoterror.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cmath>
#include <limits>

namespace {

constexpr const char *FormatName = "quorla-annot";
constexpr int FormatVersion = 1;
constexpr qsizetype MaxBytes = 16 * 1024 * 1024;
constexpr qsizetype MaxItems = 100000;
constexpr qsizetype MaxProperties = 10000;
constexpr qsizetype MaxString = 1024 * 1024;
constexpr int MaxListDepth = 8;
constexpr int MaxCoord = 1 << 24;

// ---- writing ---------------------------------------------------------------------------------

QJsonObject typed(const QString &t, const QJsonValue &v)
{
    return QJsonObject{{QStringLiteral("t"), t}, {QStringLiteral("v"), v}};
}

QJsonObject encodeValue(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        return typed(QStringLiteral("null"), QJsonValue());
    case QMetaType::Bool:
        return typed(QStringLiteral("bool"), value.toBool());
    case QMetaType::Short:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return typed(QStringLiteral("i16"), value.toInt());
    case QMetaType::Int:
    case QMetaType::UShort:
        return typed(QStringLiteral("i32"), value.toInt());
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return typed(QStringLiteral("i64"), QString::number(value.toLongLong()));
    case QMetaType::Float:
    case QMetaType::Double: {
        const double d = value.toDouble();
        if (std::isnan(d))
            return typed(QStringLiteral("f64"), QStringLiteral("nan"));
        if (std::isinf(d))
            return typed(QStringLiteral("f64"), d > 0 ? QStringLiteral("inf") : QStringLiteral("-inf"));
        return typed(QStringLiteral("f64"), d);
    }
    case QMetaType::QByteArray:
        return typed(QStringLiteral("bytes"), QString::fromLatin1(value.toByteArray().toBase64()));
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        QJsonArray a;
        for (const QVariant &v : value.toList())
            a.append(encodeValue(v));
        return typed(QStringLiteral("list"), a);
    }
    default:
        return typed(QStringLiteral("str"), value.toString());
    }
}

// ---- reading ---------------------------------------------------------------------------------

[[noreturn]] void bad(const QString &what) { raiseAnnotError(annotErr::BadData, what); }

QJsonObject needObject(const QJsonValue &v, const QString &what)
{
    if (!v.isObject())
        bad(what + QStringLiteral(" is not an object"));
    return v.toObject();
}

QJsonArray needArray(const QJsonValue &v, const QString &what, qsizetype max)
{
    if (!v.isArray())
        bad(what + QStringLiteral(" is not a list"));
    QJsonArray a = v.toArray();
    if (a.size() > max)
        raiseAnnotError(annotErr::TooLarge, what);
    return a;
}

QString needString(const QJsonValue &v, const QString &what)
{
    if (!v.isString())
        bad(what + QStringLiteral(" is not a text"));
    QString s = v.toString();
    if (s.size() > MaxString)
        raiseAnnotError(annotErr::TooLarge, what);
    return s;
}

bool needBool(const QJsonValue &v, const QString &what)
{
    if (!v.isBool())
        bad(what + QStringLiteral(" is not a Boolean"));
    return v.toBool();
}

double needNumber(const QJsonValue &v, const QString &what)
{
    if (!v.isDouble())
        bad(what + QStringLiteral(" is not a number"));
    return v.toDouble();
}

qint64 needInt(const QJsonValue &v, const QString &what, qint64 min, qint64 max)
{
    const double d = needNumber(v, what);
    if (!(d >= double(min) && d <= double(max)) || d != std::floor(d))
        bad(what + QStringLiteral(" is out of range"));
    return qint64(d);
}

// An optional member: absent keeps the default.
template <typename F>
void optional(const QJsonObject &o, const char *key, F &&read)
{
    const auto it = o.constFind(QLatin1String(key));
    if (it != o.constEnd())
        read(it.value(), QString::fromLatin1(key));
}

QVariant decodeValue(const QJsonValue &jv, int depth)
{
    const QJsonObject o = needObject(jv, QStringLiteral("value"));
    const QString t = needString(o.value(QStringLiteral("t")), QStringLiteral("value type"));
    const QJsonValue v = o.value(QStringLiteral("v"));
    if (t == QLatin1String("null"))
        return QVariant();
    if (t == QLatin1String("bool"))
        return needBool(v, t);
    if (t == QLatin1String("i16"))
        return QVariant::fromValue(qint16(needInt(v, t, -32768, 32767)));
    if (t == QLatin1String("i32"))
        return int(needInt(v, t, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
    if (t == QLatin1String("i64")) {
        bool ok = false;
        const qlonglong n = needString(v, t).toLongLong(&ok);
        if (!ok)
            bad(QStringLiteral("i64 value"));
        return n;
    }
    if (t == QLatin1String("f64")) {
        if (v.isString()) {
            const QString s = v.toString();
            if (s == QLatin1String("nan"))
                return std::numeric_limits<double>::quiet_NaN();
            if (s == QLatin1String("inf"))
                return std::numeric_limits<double>::infinity();
            if (s == QLatin1String("-inf"))
                return -std::numeric_limits<double>::infinity();
            bad(QStringLiteral("f64 value"));
        }
        return needNumber(v, t);
    }
    if (t == QLatin1String("str"))
        return needString(v, t);
    if (t == QLatin1String("bytes")) {
        const QByteArray b64 = needString(v, t).toLatin1();
        auto r = QByteArray::fromBase64Encoding(b64, QByteArray::AbortOnBase64DecodingErrors);
        if (!r)
            bad(QStringLiteral("bytes value"));
        return *r;
    }
    if (t == QLatin1String("list")) {
        if (depth >= MaxListDepth)
            raiseAnnotError(annotErr::TooLarge, QStringLiteral("list nesting"));
        const QJsonArray a = needArray(v, t, MaxProperties);
        QVariantList l;
        l.reserve(a.size());
        for (const QJsonValue &e : a)
            l.append(decodeValue(e, depth + 1));
        return l;
    }
    bad(QStringLiteral("unknown value type ") + t.left(40));
}

std::unique_ptr<QelAnnotItem> decodeItem(const QJsonValue &jv)
{
    const QJsonObject o = needObject(jv, QStringLiteral("item"));
    const int type = int(needInt(o.value(QStringLiteral("type")), QStringLiteral("type"), 1, 65535));
    std::unique_ptr<QelAnnotItem> item = type == QelAnnotType::Text
        ? std::unique_ptr<QelAnnotItem>(new QelAnnotTextItem)
        : std::make_unique<QelAnnotItem>(type);

    const QJsonArray b = needArray(o.value(QStringLiteral("bounds")), QStringLiteral("bounds"), 4);
    if (b.size() != 4)
        bad(QStringLiteral("bounds"));
    const int left = int(needInt(b[0], QStringLiteral("left"), -MaxCoord, MaxCoord));
    const int top = int(needInt(b[1], QStringLiteral("top"), -MaxCoord, MaxCoord));
    const int width = int(needInt(b[2], QStringLiteral("width"), 0, MaxCoord));
    const int height = int(needInt(b[3], QStringLiteral("height"), 0, MaxCoord));
    item->setBounds(QRect(left, top, width, height));

    optional(o, "lineColor", [&](const QJsonValue &v, const QString &k) {
        item->setLineColor(quint32(needInt(v, k, 0, 0xFFFFFF)));
    });
    optional(o, "fillColor", [&](const QJsonValue &v, const QString &k) {
        item->setFillColor(quint32(needInt(v, k, 0, 0xFFFFFF)));
    });
    optional(o, "lineWidth", [&](const QJsonValue &v, const QString &k) {
        item->setLineWidth(int(needInt(v, k, 0, 10000)));
    });
    optional(o, "text", [&](const QJsonValue &v, const QString &k) { item->setText(needString(v, k)); });
    optional(o, "font", [&](const QJsonValue &v, const QString &k) {
        const QJsonObject f = needObject(v, k);
        QelAnnotFont font;
        font.name = needString(f.value(QStringLiteral("name")), QStringLiteral("font name"));
        font.pointSize = needNumber(f.value(QStringLiteral("size")), QStringLiteral("font size"));
        if (!(font.pointSize > 0.0 && font.pointSize <= 1000.0))
            bad(QStringLiteral("font size is out of range"));
        font.bold = needBool(f.value(QStringLiteral("bold")), QStringLiteral("font bold"));
        font.italic = needBool(f.value(QStringLiteral("italic")), QStringLiteral("font italic"));
        item->setFont(font);
    });
    optional(o, "justification", [&](const QJsonValue &v, const QString &k) {
        item->setJustification(int(needInt(v, k, QelAnnotJustify::Left, QelAnnotJustify::Center)));
    });
    optional(o, "orientation", [&](const QJsonValue &v, const QString &k) {
        item->setTextOrientation(int(needInt(v, k, QelAnnotOrient::Normal, QelAnnotOrient::Up)));
    });
    optional(o, "user", [&](const QJsonValue &v, const QString &k) {
        for (const QJsonValue &e : needArray(v, k, MaxProperties)) {
            const QJsonObject u = needObject(e, k);
            item->setUserStorage(needString(u.value(QStringLiteral("key")), QStringLiteral("user key")),
                                 decodeValue(u.value(QStringLiteral("value")), 0));
        }
    });
    return item;
}

} // namespace

QByteArray QelAnnotDocument::toBytes() const
{
    QJsonObject root;
    root.insert(QStringLiteral("format"), QLatin1String(FormatName));
    root.insert(QStringLiteral("version"), FormatVersion);
    root.insert(QStringLiteral("page"), QJsonObject{{QStringLiteral("width"), m_pageSize.width()},
                                                   {QStringLiteral("height"), m_pageSize.height()},
                                                   {QStringLiteral("dpiX"), m_dpiX},
                                                   {QStringLiteral("dpiY"), m_dpiY}});
    QJsonArray props;
    for (auto p = m_props.cbegin(); p != m_props.cend(); ++p) {
        if (p.key().startsWith(QLatin1String(QelAnnotPermPrefix)))
            continue;
        props.append(QJsonObject{{QStringLiteral("name"), p.key()},
                                 {QStringLiteral("value"), encodeValue(p.value())}});
    }
    root.insert(QStringLiteral("properties"), props);

    QJsonArray items;
    for (const auto &it : m_items) {
        const QRect b = it->bounds();
        QJsonObject o;
        o.insert(QStringLiteral("type"), it->type());
        o.insert(QStringLiteral("bounds"), QJsonArray{b.left(), b.top(), b.width(), b.height()});
        o.insert(QStringLiteral("lineColor"), qint64(it->lineColor()));
        o.insert(QStringLiteral("fillColor"), qint64(it->fillColor()));
        o.insert(QStringLiteral("lineWidth"), it->lineWidth());
        o.insert(QStringLiteral("text"), it->text());
        const QelAnnotFont f = it->font();
        o.insert(QStringLiteral("font"), QJsonObject{{QStringLiteral("name"), f.name},
                                                    {QStringLiteral("size"), f.pointSize},
                                                    {QStringLiteral("bold"), f.bold},
                                                    {QStringLiteral("italic"), f.italic}});
        o.insert(QStringLiteral("justification"), it->justification());
        o.insert(QStringLiteral("orientation"), it->textOrientation());
        QJsonArray user;
        const auto &us = it->userStorageAll();
        for (auto u = us.cbegin(); u != us.cend(); ++u)
            user.append(QJsonObject{{QStringLiteral("key"), u.key()},
                                    {QStringLiteral("value"), encodeValue(u.value())}});
        o.insert(QStringLiteral("user"), user);
        items.append(o);
    }
    root.insert(QStringLiteral("items"), items);
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

std::unique_ptr<QelAnnotDocument> QelAnnotDocument::fromBytes(const QByteArray &bytes)
{
    if (bytes.size() > MaxBytes)
        raiseAnnotError(annotErr::TooLarge, QStringLiteral("%1 bytes").arg(bytes.size()));
    QJsonParseError err;
    const QJsonDocument json = QJsonDocument::fromJson(bytes, &err);
    if (err.error != QJsonParseError::NoError)
        bad(err.errorString());
    if (!json.isObject())
        bad(QStringLiteral("not an object"));
    const QJsonObject root = json.object();
    if (root.value(QStringLiteral("format")).toString() != QLatin1String(FormatName))
        bad(QStringLiteral("unknown format"));
    const qint64 version = needInt(root.value(QStringLiteral("version")), QStringLiteral("version"),
                                   0, std::numeric_limits<int>::max());
    if (version < 1 || version > FormatVersion)
        raiseAnnotError(annotErr::BadVersion, QString::number(version));

    auto doc = std::make_unique<QelAnnotDocument>();
    const QJsonObject page = needObject(root.value(QStringLiteral("page")), QStringLiteral("page"));
    const int w = int(needInt(page.value(QStringLiteral("width")), QStringLiteral("page width"), 0, MaxCoord));
    const int h = int(needInt(page.value(QStringLiteral("height")), QStringLiteral("page height"), 0, MaxCoord));
    const double dx = needNumber(page.value(QStringLiteral("dpiX")), QStringLiteral("dpiX"));
    const double dy = needNumber(page.value(QStringLiteral("dpiY")), QStringLiteral("dpiY"));
    if (!(dx > 0.0 && dx <= 100000.0 && dy > 0.0 && dy <= 100000.0))
        bad(QStringLiteral("resolution is out of range"));
    doc->setPageInfo(QSize(w, h), dx, dy);

    for (const QJsonValue &pv : needArray(root.value(QStringLiteral("properties")),
                                          QStringLiteral("properties"), MaxProperties)) {
        const QJsonObject p = needObject(pv, QStringLiteral("property"));
        const QString name = needString(p.value(QStringLiteral("name")), QStringLiteral("property name"));
        const QVariant value = decodeValue(p.value(QStringLiteral("value")), 0);
        if (!name.startsWith(QLatin1String(QelAnnotPermPrefix)))
            doc->m_props.insert(name, value);
    }
    for (const QJsonValue &iv :
         needArray(root.value(QStringLiteral("items")), QStringLiteral("items"), MaxItems)) {
        std::unique_ptr<QelAnnotItem> item = decodeItem(iv);
        item->m_doc = doc.get();
        doc->m_items.push_back(std::move(item));
    }
    doc->m_modified = false;
    return doc;
}
