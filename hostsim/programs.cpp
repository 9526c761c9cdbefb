#include "hostsim/programs.h"
#include "hostsim/emulator.h"
#include "platform/system/system.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <map>
#include <optional>

namespace hostsim {

// ---- schema ----

QStringList schemaStatements()
{
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS accounts(dsn TEXT NOT NULL, uid TEXT NOT NULL, pwd TEXT NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS operators(user_id TEXT PRIMARY KEY, password TEXT NOT NULL, "
                       "name TEXT DEFAULT '', disabled INTEGER DEFAULT 0)"),
        // One documents table across the databases (db: LR, LC, LP, MD, CT, FH).
        QStringLiteral("CREATE TABLE IF NOT EXISTS documents(id INTEGER PRIMARY KEY, db TEXT NOT NULL, "
                       "book_code TEXT DEFAULT '', book TEXT DEFAULT '', page TEXT DEFAULT '', "
                       "year TEXT DEFAULT '', month TEXT DEFAULT '', day TEXT DEFAULT '', ctl TEXT DEFAULT '', "
                       "inst TEXT DEFAULT '', key_code TEXT DEFAULT '', doc_id TEXT DEFAULT '', "
                       "doc_num TEXT DEFAULT '', plan1 TEXT DEFAULT '', plan2 TEXT DEFAULT '', plan3 TEXT DEFAULT '', "
                       "ref_code TEXT DEFAULT '', ref_num TEXT DEFAULT '', ref TEXT DEFAULT '', "
                       "filename TEXT DEFAULT '', doc_type TEXT DEFAULT '', location TEXT DEFAULT '1', "
                       "imid TEXT DEFAULT '', num_pages TEXT DEFAULT '')"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS image_master(imid TEXT PRIMARY KEY, folder TEXT DEFAULT '', "
                       "subdir TEXT DEFAULT '', member TEXT DEFAULT '', num_pages TEXT DEFAULT '0000', "
                       "doc_type TEXT DEFAULT '', redacted TEXT DEFAULT 'N', size INTEGER DEFAULT 0)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS certificates(doc_num TEXT NOT NULL, cert_num TEXT NOT NULL, "
                       "imid TEXT DEFAULT '', num_pages TEXT DEFAULT '0000')"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS book_ranges(book_code TEXT DEFAULT '', book TEXT NOT NULL, "
                       "first_page TEXT NOT NULL, last_page TEXT NOT NULL, path TEXT NOT NULL, prefix TEXT NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS cover_pages(id INTEGER PRIMARY KEY, db TEXT DEFAULT '', "
                       "year TEXT, month TEXT, day TEXT, ctl TEXT, status TEXT DEFAULT 'Y', path TEXT DEFAULT '')"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS cover_lines(cover_id INTEGER NOT NULL, line_no INTEGER NOT NULL, "
                       "text TEXT NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS efile_queue(id INTEGER PRIMARY KEY, partner_id TEXT, submit_cde TEXT, "
                       "location_cde TEXT, batch_id TEXT, document_id TEXT, status TEXT DEFAULT 'Q', "
                       "workstation TEXT DEFAULT '', db TEXT, key_code TEXT DEFAULT '', year TEXT DEFAULT '', "
                       "month TEXT DEFAULT '', day TEXT DEFAULT '', ctl TEXT DEFAULT '', book_code TEXT DEFAULT '', "
                       "book TEXT DEFAULT '', page TEXT DEFAULT '', inst TEXT DEFAULT '', in_doc_path TEXT DEFAULT '', "
                       "in_doc_id TEXT DEFAULT '', doc_type TEXT DEFAULT '', num_pages TEXT DEFAULT '0000', "
                       "burned_image_path TEXT DEFAULT '', alw_edt TEXT DEFAULT 'Y', ext_or_ovl TEXT DEFAULT 'E', "
                       "burn_ann TEXT DEFAULT 'N', unindexed TEXT DEFAULT '0', "
                       "g1d TEXT DEFAULT '', g1 TEXT DEFAULT '', g2d TEXT DEFAULT '', g2 TEXT DEFAULT '', "
                       "g3d TEXT DEFAULT '', g3 TEXT DEFAULT '', g4d TEXT DEFAULT '', g4 TEXT DEFAULT '')"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS PTC0(Q0PTID TEXT, Q0PTNM TEXT, Q0PTTP TEXT)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS registrations(seq INTEGER PRIMARY KEY, program TEXT, func TEXT, "
                       "file TEXT, size TEXT, pages TEXT, imid TEXT, workstation TEXT, at TEXT)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS call_log(seq INTEGER PRIMARY KEY, program TEXT, markers INTEGER, "
                       "command_text TEXT, connection TEXT, data_source TEXT, user_id TEXT, timeout INTEGER, "
                       "prepared INTEGER, params TEXT)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS faults(seq INTEGER PRIMARY KEY, kind INTEGER, program TEXT, "
                       "number INTEGER, text TEXT, answer TEXT, remaining INTEGER, seconds INTEGER DEFAULT 0, skip INTEGER DEFAULT 0)"),
    };
}

// ---- the buffers ----

ProgramCall::ProgramCall(QSqlDatabase d, QString ds, QString uid, QVector<HostField> f, int b)
    : db(std::move(d)), dataSource(std::move(ds)), userId(std::move(uid)), fields(std::move(f)), bound(b)
{
    for (const HostField &h : fields)
        m_buf << QString(h.width, u' ');
}

int ProgramCall::index(const char *name) const
{
    for (int i = 0; i < fields.size(); ++i)
        if (QString::fromLatin1(fields[i].name).compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return i;
    throw VbError(adoErr::ProviderFailed, QStringLiteral("Host parameter %1 is not defined.").arg(QLatin1String(name)));
}

bool ProgramCall::passed(const char *name) const { return index(name) < bound; }

QString ProgramCall::raw(const char *name) const
{
    const int i = index(name);
    return i < bound ? m_buf[i] : QString(fields[i].width, u' ');
}

QString ProgramCall::get(const char *name) const
{
    const QString t = raw(name).trimmed();
    return t.isNull() ? QStringLiteral("") : t; // a blank field binds as '', never as NULL
}

void ProgramCall::set(const char *name, const QString &value)
{
    const int i = index(name);
    if (i < bound)
        m_buf[i] = padTo(value, fields[i].width);
}

void ProgramCall::setBuffer(int i, const QString &value) { m_buf[i] = padTo(value, fields[i].width); }

namespace {

using Row = QMap<QString, QString>;

QSqlQuery run(QSqlDatabase db, const QString &sql, const QVariantList &binds = {})
{
    QSqlQuery q(db);
    bool ok = q.prepare(sql);
    if (ok) {
        for (const QVariant &b : binds)
            q.addBindValue(b);
        ok = q.exec();
    }
    if (!ok)
        throw VbError(adoErr::ProviderFailed, QStringLiteral("Emulator database error: %1").arg(q.lastError().text()));
    return q;
}

QList<Row> rows(QSqlDatabase db, const QString &sql, const QVariantList &binds = {})
{
    QSqlQuery q = run(db, sql, binds);
    QList<Row> out;
    while (q.next()) {
        Row r;
        const QSqlRecord rec = q.record();
        for (int i = 0; i < rec.count(); ++i)
            r.insert(rec.fieldName(i), q.value(i).toString());
        out << r;
    }
    return out;
}

std::optional<Row> firstRow(QSqlDatabase db, const QString &sql, const QVariantList &binds = {})
{
    const QList<Row> r = rows(db, sql, binds);
    if (r.isEmpty())
        return std::nullopt;
    return r.first();
}

QString zeros(int n, int width) { return QString::number(n).rightJustified(width, u'0'); }

// The lookup result rule: "" found, "1" only in other databases, "2" nowhere, "3" several.
QString decide(const QList<Row> &candidates, const QStringList &dbs, Row *found)
{
    if (candidates.isEmpty())
        return QStringLiteral("2");
    QList<Row> mine;
    for (const Row &r : candidates)
        if (dbs.contains(r.value(QStringLiteral("db"))))
            mine << r;
    if (mine.isEmpty())
        return QStringLiteral("1");
    if (candidates.size() > 1)
        return QStringLiteral("3");
    *found = mine.first();
    return QString();
}

QString inList(const QStringList &dbs)
{
    QStringList q;
    for (const QString &d : dbs)
        q << u'\'' + d + u'\'';
    return u'(' + q.join(u',') + u')';
}

// Stepping for "N" and "P": the next or previous document by key within the databases.
std::optional<Row> step(QSqlDatabase db, const QStringList &dbs, const QString &keyExpr, const QString &current,
                        bool forward)
{
    return firstRow(db,
                    QStringLiteral("SELECT * FROM documents WHERE db IN %1 AND %2 %3 ? ORDER BY %2 %4 LIMIT 1")
                        .arg(inList(dbs), keyExpr, forward ? QStringLiteral(">") : QStringLiteral("<"),
                             forward ? QStringLiteral("ASC") : QStringLiteral("DESC")),
                    {current});
}

QString share(const ProgramCall &c, const QString &rest) { return QStringLiteral("\\\\") + c.dataSource + QLatin1Char(0x5c) + rest; }

void registration(ProgramCall &c, const QString &program, const QString &func, const QString &file,
                  const QString &size, const QString &pages, const QString &imid)
{
    run(c.db,
        QStringLiteral("INSERT INTO registrations(program, func, file, size, pages, imid, workstation, at) "
                       "VALUES(?,?,?,?,?,?,?,?)"),
        {program, func, file, size, pages, imid, c.userId, QDateTime::currentDateTimeUtc().toString(Qt::ISODate)});
}

QString newImageId(QSqlDatabase db)
{
    const auto r = firstRow(db, QStringLiteral("SELECT COUNT(*) AS n FROM image_master"));
    int n = r ? r->value(QStringLiteral("n")).toInt() + 1 : 1;
    for (;; ++n) {
        const QString id = QStringLiteral("IM") + zeros(n, 10);
        if (!firstRow(db, QStringLiteral("SELECT imid FROM image_master WHERE imid = ?"), {id}))
            return id;
    }
}

// A stored file on the share: the scan folder's file of that name with the size given. Returns
// its local path, or "" with an error text.
QString storedFile(const ProgramCall &c, const QString &fileName, const QString &sizeText, QString *error)
{
    const QString local = hostPathToLocal(share(c, QStringLiteral("KvTemp\\Scans\\") + fileName));
    const QFileInfo fi(local);
    if (fileName.isEmpty() || !fi.isFile()) {
        *error = QStringLiteral("Image file %1 was not found in the scan folder.").arg(fileName);
        return QString();
    }
    bool ok = false;
    const qint64 expected = sizeText.toLongLong(&ok);
    if (!ok || expected != fi.size()) {
        *error = QStringLiteral("Image file %1 has %2 bytes, not %3.").arg(fileName).arg(fi.size()).arg(sizeText);
        return QString();
    }
    return local;
}

// Moves the stored file into the images tree under its image id, with the call's transaction:
// a rollback puts it (and an image it replaced) back. Raises when it cannot be moved.
void moveStoredFile(ProgramCall &c, const QString &local, const QString &imid, const QString &folder)
{
    const QString target = hostPathToLocal(share(c, QStringLiteral("IMAGES\\") + folder + u'\\' + imid));
    QDir().mkpath(QFileInfo(target).absolutePath());
    const QString replaced = target + QStringLiteral(".replaced");
    if (QFileInfo::exists(target)) {
        QFile::remove(replaced);
        if (!QFile::rename(target, replaced))
            throw VbError(adoErr::ProviderFailed, QStringLiteral("Image %1 could not be replaced.").arg(imid));
        c.onRollback.push_back([target, replaced] { QFile::rename(replaced, target); });
        c.onCommit.push_back([replaced] { QFile::remove(replaced); });
    }
    if (!QFile::rename(local, target))
        throw VbError(adoErr::ProviderFailed,
                      QStringLiteral("Image file %1 could not be moved into the images folder.").arg(local));
    c.onRollback.push_back([local, target] { QFile::rename(target, local); });
}

QString imageFolder() { return QStringLiteral("IMG") + QString::number(QDate::currentDate().year()); }

// Registers an image for the image master row (new id when the document has none): the row
// first, then the file follows it.
QString storeImage(ProgramCall &c, const QString &currentImid, const QString &file, const QString &size,
                   const QString &pages, const QString &docType, const QString &redacted, QString *error)
{
    const QString local = storedFile(c, file, size, error);
    if (!error->isEmpty())
        return QString();
    const QString imid = currentImid.isEmpty() ? newImageId(c.db) : currentImid;
    const QString folder = imageFolder();
    run(c.db,
        QStringLiteral("INSERT OR REPLACE INTO image_master(imid, folder, subdir, member, num_pages, doc_type, "
                       "redacted, size) VALUES(?,?,?,?,?,?,?,?)"),
        {imid, folder, QString(), QStringLiteral("IMAGES"), pages, docType, redacted.isEmpty() ? "N" : redacted,
         size.toLongLong()});
    moveStoredFile(c, local, imid, folder);
    return imid;
}

// ---- the programs ----

// SY983R: operator sign-on.
void SY983R(ProgramCall &c)
{
    const auto op = firstRow(c.db, QStringLiteral("SELECT password, disabled FROM operators WHERE upper(user_id) = upper(?)"),
                             {c.get("userid")});
    if (!op || op->value(QStringLiteral("password")) != c.raw("password").trimmed())
        c.set("ErrMsg", QStringLiteral("CPF2204: User id or password is not correct."));
    else if (op->value(QStringLiteral("disabled")).toInt() != 0)
        c.set("ErrMsg", QStringLiteral("CPF22E2: User profile %1 is disabled.").arg(c.get("userid")));
    else
        c.set("ErrMsg", QString());
}

// The document of an image-master call: by document id, else by database, date and control number.
std::optional<Row> imageMasterDocument(const ProgramCall &c)
{
    if (!c.get("DocId").isEmpty()) {
        const QString docId = c.get("DocId");
        if (auto d = firstRow(c.db, QStringLiteral("SELECT * FROM documents WHERE doc_id = ?"), {docId}))
            return d;
        // An e-filed document enters the index when its image is first registered.
        const auto e = firstRow(c.db, QStringLiteral("SELECT * FROM efile_queue WHERE in_doc_id = ?"), {docId});
        if (!e)
            return std::nullopt;
        run(c.db,
            QStringLiteral("INSERT INTO documents(db, book_code, book, page, year, month, day, ctl, inst, key_code, "
                           "doc_id, doc_type) SELECT db, book_code, book, page, year, month, day, ctl, inst, key_code, "
                           "in_doc_id, doc_type FROM efile_queue WHERE id = ?"),
            {e->value(QStringLiteral("id"))});
        return firstRow(c.db, QStringLiteral("SELECT * FROM documents WHERE doc_id = ?"), {docId});
    }
    const QVariantList keys{c.get("RcCY"), c.get("RcMM"), c.get("RcDD"), c.get("Ctl#")};
    if (!c.get("ApCd").isEmpty())
        return firstRow(c.db,
                        QStringLiteral("SELECT * FROM documents WHERE db = ? AND year = ? AND month = ? AND day = ? "
                                       "AND ctl = ?"),
                        QVariantList{c.get("ApCd")} + keys);
    return firstRow(c.db, QStringLiteral("SELECT * FROM documents WHERE year = ? AND month = ? AND day = ? AND ctl = ?"),
                    keys);
}

void IM650R(ProgramCall &c)
{
    const QString func = c.get("Func");
    const bool unindexed = c.get("MbGp") == u"OI";
    if (func == u"9") {
        registration(c, QStringLiteral("IM650R"), func, QString(), QString(), QString(), QString());
        c.set("ErrMsg", QString());
        return;
    }
    if (func != u"A" && func != u"S") {
        c.set("ErrMsg", QStringLiteral("IM650R: function code '%1' is not valid.").arg(c.raw("Func")));
        return;
    }
    const std::optional<Row> doc = imageMasterDocument(c);
    if (!doc && !unindexed) {
        c.set("ErrMsg", QStringLiteral("IM650R: the document is not on file."));
        return;
    }
    QString imid = doc ? doc->value(QStringLiteral("imid")) : QString();
    if (func == u"S") {
        QString error;
        imid = storeImage(c, imid, c.get("PcFn"), c.get("DoSz"), c.get("Nump"),
                          doc ? doc->value(QStringLiteral("doc_type")) : QString(), c.get("Redacted"), &error);
        if (!error.isEmpty()) {
            c.set("ErrMsg", error);
            return;
        }
        if (doc)
            run(c.db, QStringLiteral("UPDATE documents SET imid = ? WHERE id = ?"), {imid, doc->value(QStringLiteral("id"))});
        registration(c, QStringLiteral("IM650R"), func, c.get("PcFn"), c.get("DoSz"), c.get("Nump"), imid);
    }
    const auto im = imid.isEmpty() ? std::nullopt
                                   : firstRow(c.db, QStringLiteral("SELECT * FROM image_master WHERE imid = ?"), {imid});
    c.set("Dabr", doc ? doc->value(QStringLiteral("doc_type")) : QString());
    c.set("Imid", im ? imid : QString());
    // the image's page count; without an image, the count recorded with the document
    const QString recorded = doc ? doc->value(QStringLiteral("num_pages")) : QString();
    c.set("Nump", im ? im->value(QStringLiteral("num_pages")) : recorded.isEmpty() ? QStringLiteral("0000") : recorded);
    c.set("Redacted", im ? im->value(QStringLiteral("redacted")) : QStringLiteral("N"));
    c.set("ErrMsg", QString());
}

// IM091R: where an image lies.
void IM091R(ProgramCall &c)
{
    if (c.get("Func") != u"V") {
        c.set("ErrMsg", QStringLiteral("IM091R: function code '%1' is not valid.").arg(c.raw("Func")));
        return;
    }
    const auto im = firstRow(c.db, QStringLiteral("SELECT * FROM image_master WHERE imid = ?"), {c.get("Imid")});
    if (!im) {
        c.set("ErrMsg", QStringLiteral("Image %1 is not on file.").arg(c.get("Imid")));
        return;
    }
    c.set("FlNM", im->value(QStringLiteral("folder")));
    c.set("sbDr", im->value(QStringLiteral("subdir")));
    c.set("MbrNm", im->value(QStringLiteral("member")));
    c.set("ErrMsg", QString());
}

void copyDate(ProgramCall &c, const Row &d, const char *y, const char *m, const char *dd, const char *ctl)
{
    c.set(y, d.value(QStringLiteral("year")));
    c.set(m, d.value(QStringLiteral("month")));
    c.set(dd, d.value(QStringLiteral("day")));
    c.set(ctl, d.value(QStringLiteral("ctl")));
}

// A key lookup: stepping for "N"/"P", else the candidates by key; writes the result code.
std::optional<Row> lookup(ProgramCall &c, const char *func, const char *result, const QStringList &dbs,
                          const QString &keyExpr, const QString &currentKey, const QString &where,
                          const QVariantList &binds)
{
    const QString f = c.get(func);
    if (f == u"N" || f == u"P") {
        const auto r = step(c.db, dbs, keyExpr, currentKey, f == u"N");
        c.set(result, r ? QString() : QStringLiteral("2"));
        return r;
    }
    const QList<Row> cands = rows(c.db, QStringLiteral("SELECT * FROM documents WHERE ") + where, binds);
    Row found;
    const QString code = decide(cands, dbs, &found);
    c.set(result, code);
    if (!code.isEmpty())
        return std::nullopt;
    return found;
}

const QStringList kMaLr{QStringLiteral("LR")};
const QStringList kNy{QStringLiteral("LR"), QStringLiteral("MD"), QStringLiteral("CT")};

void SY331RI_MA(ProgramCall &c)
{
    const auto d = lookup(c, "DSFUNC", "DSRSLT", kMaLr, QStringLiteral("book || page"), c.get("DSBK") + c.get("DSPG"),
                          QStringLiteral("book = ? AND page = ? AND book <> ''"), {c.get("DSBK"), c.get("DSPG")});
    if (!d)
        return;
    c.set("DSBK", d->value(QStringLiteral("book")));
    c.set("DSPG", d->value(QStringLiteral("page")));
    copyDate(c, *d, "DSRCCY", "DSRCMM", "DSRCDD", "DSCTL#");
    c.set("INST#", d->value(QStringLiteral("inst")));
    c.set("KyCd", d->value(QStringLiteral("key_code")));
    c.set("DocId", d->value(QStringLiteral("doc_id")));
}

void SY331RI_NY(ProgramCall &c)
{
    const auto d = lookup(c, "Func", "Rslt", kNy, QStringLiteral("book_code || book || page"),
                          c.get("BkCd") + c.get("Bk") + c.get("Pg"),
                          QStringLiteral("book_code = ? AND book = ? AND page = ? AND book <> ''"),
                          {c.get("BkCd"), c.get("Bk"), c.get("Pg")});
    if (!d)
        return;
    c.set("BkCd", d->value(QStringLiteral("book_code")));
    c.set("Bk", d->value(QStringLiteral("book")));
    c.set("Pg", d->value(QStringLiteral("page")));
    copyDate(c, *d, "RcCY", "RcMM", "RcDD", "CTL#");
    c.set("REF#", d->value(QStringLiteral("ref")));
}

void SY330RI(ProgramCall &c)
{
    const auto d = lookup(c, "Func", "Rslt", kNy, QStringLiteral("year || month || day || ctl"),
                          c.get("RcCY") + c.get("RcMM") + c.get("RcDD") + c.get("CTL#"),
                          QStringLiteral("year = ? AND month = ? AND day = ? AND ctl = ?"),
                          {c.get("RcCY"), c.get("RcMM"), c.get("RcDD"), c.get("CTL#")});
    if (!d)
        return;
    copyDate(c, *d, "RcCY", "RcMM", "RcDD", "CTL#");
    c.set("BkCd", d->value(QStringLiteral("book_code")));
    c.set("Bk", d->value(QStringLiteral("book")));
    c.set("Pg", d->value(QStringLiteral("page")));
    c.set("REF#", d->value(QStringLiteral("ref")));
}

void LC630RI(ProgramCall &c)
{
    const auto d = lookup(c, "DSFUNC", "DSRSLT", {QStringLiteral("LC")}, QStringLiteral("doc_num"), c.get("Doc#"),
                          QStringLiteral("doc_num = ? AND doc_num <> ''"), {c.get("Doc#")});
    if (!d)
        return;
    c.set("Doc#", d->value(QStringLiteral("doc_num")));
    copyDate(c, *d, "DSRCCY", "DSRCMM", "DSRCDD", "DSCTL#");
    c.set("KyCd", d->value(QStringLiteral("key_code")));
    c.set("DocId", d->value(QStringLiteral("doc_id")));
}

void LP630RI(ProgramCall &c)
{
    const auto d = lookup(c, "DSFUNC", "DSRSLT", {QStringLiteral("LP")}, QStringLiteral("plan1 || plan2 || plan3"),
                          c.get("@Pln1") + c.get("$Pln2") + c.get("$Pln3"),
                          QStringLiteral("plan1 = ? AND plan2 = ? AND plan3 = ? AND plan1 <> ''"),
                          {c.get("@Pln1"), c.get("$Pln2"), c.get("$Pln3")});
    if (!d)
        return;
    c.set("@Pln1", d->value(QStringLiteral("plan1")));
    c.set("$Pln2", d->value(QStringLiteral("plan2")));
    c.set("$Pln3", d->value(QStringLiteral("plan3")));
    copyDate(c, *d, "DSRCCY", "DSRCMM", "DSRCDD", "DSCTL#");
}

void FH631RI(ProgramCall &c)
{
    const auto d = lookup(c, "Func", "Rslt", {QStringLiteral("FH")}, QStringLiteral("ref_code || ref_num"),
                          c.get("RefCd") + c.get("Ref#"), QStringLiteral("ref_code = ? AND ref_num = ? AND ref_num <> ''"),
                          {c.get("RefCd"), c.get("Ref#")});
    if (!d)
        return;
    c.set("RefCd", d->value(QStringLiteral("ref_code")));
    c.set("Ref#", d->value(QStringLiteral("ref_num")));
    copyDate(c, *d, "RcCY", "RcMM", "RcDD", "CTL#");
    c.set("PcFn", d->value(QStringLiteral("filename")));
}

void FH800R(ProgramCall &c)
{
    const auto d = firstRow(c.db,
                            QStringLiteral("SELECT * FROM documents WHERE db = 'FH' AND year = ? AND month = ? AND "
                                           "day = ? AND ctl = ?"),
                            {c.get("RCcy"), c.get("RCmm"), c.get("RCdd"), c.get("Ctl#")});
    const QString imid = d ? d->value(QStringLiteral("imid")) : QString();
    const auto im = imid.isEmpty() ? std::nullopt
                                   : firstRow(c.db, QStringLiteral("SELECT * FROM image_master WHERE imid = ?"), {imid});
    c.set("Imid", im ? imid : QString());
    c.set("Iloc", d ? d->value(QStringLiteral("location")) : QString());
    c.set("#Pgs", im ? im->value(QStringLiteral("num_pages")) : QStringLiteral("0000"));
    c.set("Dabr", d ? d->value(QStringLiteral("doc_type")) : QString());
    c.set("800ST", d ? QStringLiteral("Y") : QStringLiteral("N"));
}

// IM655R: land court certificates, looked up and registered.
void IM655R(ProgramCall &c)
{
    const QString func = c.get("func");
    const auto cert = c.get("cert#").isEmpty()
                          ? firstRow(c.db, QStringLiteral("SELECT rowid AS rid, * FROM certificates WHERE doc_num = ?"),
                                     {c.get("doc#")})
                          : firstRow(c.db,
                                     QStringLiteral("SELECT rowid AS rid, * FROM certificates WHERE doc_num = ? AND "
                                                    "cert_num = ?"),
                                     {c.get("doc#"), c.get("cert#")});
    if (!cert) {
        c.set("ErrMsg", QStringLiteral("Certificate of document %1 is not on file.").arg(c.get("doc#")));
        return;
    }
    if (func == u"S") {
        QString error;
        const QString imid = storeImage(c, cert->value(QStringLiteral("imid")), c.get("pcfn"), c.get("DoSz"),
                                        c.get("Nump"), QStringLiteral("CERT"), QStringLiteral("N"), &error);
        if (!error.isEmpty()) {
            c.set("ErrMsg", error);
            return;
        }
        run(c.db, QStringLiteral("UPDATE certificates SET imid = ?, num_pages = ? WHERE rowid = ?"),
            {imid, c.get("Nump"), cert->value(QStringLiteral("rid"))});
        registration(c, QStringLiteral("IM655R"), func, c.get("pcfn"), c.get("DoSz"), c.get("Nump"), imid);
        c.set("imid", imid);
        c.set("ErrMsg", QString());
        return;
    }
    c.set("doc#", cert->value(QStringLiteral("doc_num")));
    c.set("cert#", cert->value(QStringLiteral("cert_num")));
    c.set("imid", cert->value(QStringLiteral("imid")));
    c.set("Nump", cert->value(QStringLiteral("num_pages")));
    c.set("ErrMsg", QString());
}

// IM656R: cover-page data by application code, date and control number.
void IM656R(ProgramCall &c)
{
    const QString info = c.get("DocumentInfo");
    QString db;
    QString keys = info;
    if (info.size() == 15) {
        db = info.left(2);
        keys = info.mid(2);
    }
    if (keys.size() != 13 || !std::all_of(keys.begin(), keys.end(), [](QChar ch) { return ch.isDigit(); })) {
        c.set("ErrMsg", QStringLiteral("IM656R: document information %1 is not valid.").arg(info));
        return;
    }
    QString sql = QStringLiteral("SELECT * FROM cover_pages WHERE year = ? AND month = ? AND day = ? AND ctl = ?");
    QVariantList binds{keys.mid(0, 4), keys.mid(4, 2), keys.mid(6, 2), keys.mid(8, 5)};
    if (!db.isEmpty()) {
        sql += QStringLiteral(" AND db = ?");
        binds << db;
    }
    const auto cover = firstRow(c.db, sql, binds);
    c.set("Status", cover ? cover->value(QStringLiteral("status")) : QStringLiteral("N"));
    c.set("CoverPagePath", cover ? cover->value(QStringLiteral("path")) : QString());
    std::map<int, QString> lines;
    if (cover)
        for (const Row &r : rows(c.db, QStringLiteral("SELECT line_no, text FROM cover_lines WHERE cover_id = ?"),
                                 {cover->value(QStringLiteral("id"))}))
            lines[r.value(QStringLiteral("line_no")).toInt()] = r.value(QStringLiteral("text"));
    for (int i = 1; i <= 30; ++i)
        c.set(QStringLiteral("CoverPageText%1").arg(i).toLatin1().constData(), lines.count(i) ? lines[i] : QString());
    c.set("ErrMsg", QString());
}

// IM652R: the e-file queue.
void IM652R(ProgramCall &c)
{
    const QString func = c.get("Func");
    std::optional<Row> doc;
    const QVariantList ids{c.get("PartnerId"), c.get("SubmitCde"), c.get("LocationCde"), c.get("BatchId")};
    const QString idWhere =
        QStringLiteral("partner_id = ? AND submit_cde = ? AND location_cde = ? AND batch_id = ?");
    if (func == u"R") {
        doc = firstRow(c.db, QStringLiteral("SELECT * FROM efile_queue WHERE status = 'Q' ORDER BY id LIMIT 1"));
        if (!doc) {
            c.set("RsltCd", QStringLiteral("7"));
            c.set("ErrMsg", QStringLiteral("There are no e-filed documents waiting in the queue."));
            return;
        }
        run(c.db, QStringLiteral("UPDATE efile_queue SET status = 'H', workstation = ? WHERE id = ?"),
            {c.get("WrkStationIP"), doc->value(QStringLiteral("id"))});
    } else if (func == u"N" || func == u"P") {
        doc = firstRow(c.db,
                       QStringLiteral("SELECT * FROM efile_queue WHERE %1 AND document_id %2 ? ORDER BY document_id %3 "
                                      "LIMIT 1")
                           .arg(idWhere, func == u"N" ? QStringLiteral(">") : QStringLiteral("<"),
                                func == u"N" ? QStringLiteral("ASC") : QStringLiteral("DESC")),
                       ids + QVariantList{c.get("DocumentId")});
        if (!doc) {
            c.set("RsltCd", QStringLiteral("2"));
            c.set("ErrMsg", QStringLiteral("There are no more documents in this batch."));
            return;
        }
    } else if (func == u"A" || func == u"S") {
        doc = firstRow(c.db, QStringLiteral("SELECT * FROM efile_queue WHERE %1 AND document_id = ?").arg(idWhere),
                       ids + QVariantList{c.get("DocumentId")});
        if (!doc) {
            c.set("RsltCd", QStringLiteral("1"));
            c.set("ErrMsg", QStringLiteral("The e-filed document was not found."));
            return;
        }
        const QString holder = doc->value(QStringLiteral("workstation"));
        if (doc->value(QStringLiteral("status")) == u"H" && !holder.isEmpty() && holder != c.get("WrkStationIP")) {
            c.set("RsltCd", QStringLiteral("8"));
            c.set("ErrMsg", QStringLiteral("Document is in use at workstation %1.").arg(holder));
            return;
        }
    } else {
        c.set("RsltCd", QStringLiteral("9"));
        c.set("ErrMsg", QStringLiteral("IM652R: function code '%1' is not valid.").arg(c.raw("Func")));
        return;
    }
    const Row &d = *doc;
    if (func == u"S") {
        const QString burned = c.get("BurnedImagePath");
        if (burned.isEmpty() || !QFileInfo(hostPathToLocal(burned)).isFile()) {
            c.set("ErrMsg", QStringLiteral("The burned image was not found on the share."));
            return;
        }
        run(c.db, QStringLiteral("UPDATE efile_queue SET status = 'S', burned_image_path = ? WHERE id = ?"),
            {burned, d.value(QStringLiteral("id"))});
        registration(c, QStringLiteral("IM652R"), func, burned, QString(), d.value(QStringLiteral("num_pages")), QString());
    }
    auto v = [&](const char *col) { return d.value(QLatin1String(col)); };
    c.set("PartnerId", v("partner_id"));
    c.set("SubmitCde", v("submit_cde"));
    c.set("LocationCde", v("location_cde"));
    c.set("BatchId", v("batch_id"));
    c.set("DocumentId", v("document_id"));
    c.set("RsltCd", QString());
    c.set("ApCd", v("db"));
    c.set("KyCd", v("key_code"));
    c.set("AlwEdt", v("alw_edt"));
    c.set("ExtOrOvlPg", v("ext_or_ovl"));
    c.set("ISeriesBurnAnn", v("burn_ann"));
    c.set("InDocCtlYear", v("year"));
    c.set("InDocCtlMonth", v("month"));
    c.set("InDocCtlDay", v("day"));
    c.set("InDocCtl#", v("ctl"));
    c.set("InDocBookCd", v("book_code"));
    c.set("InDocBook#", v("book"));
    c.set("InDocPage#", v("page"));
    c.set("InDocInstrument#", v("inst"));
    c.set("InDocPath", v("in_doc_path"));
    c.set("InDocID", v("in_doc_id"));
    c.set("InDocType", v("doc_type"));
    c.set("InDocNumPages", v("num_pages"));
    c.set("BurnedImagePath", v("burned_image_path"));
    c.set("Group1Dflts", v("g1d"));
    c.set("Group1", v("g1"));
    c.set("Group2Dflts", v("g2d"));
    c.set("Group2", v("g2"));
    c.set("Group3Dflts", v("g3d"));
    c.set("Group3", v("g3"));
    c.set("Group4Dflts", v("g4d"));
    c.set("Group4", v("g4"));
    c.set("ErrMsg", QString());
    c.set("UnIndexedEfile", v("unindexed"));
}

// RG632R: the book range of a book scan.
void RG632R(ProgramCall &c, bool ny)
{
    const QString func = c.get("$FUNC");
    const QString bookCode = ny ? c.get("@BKCD") : QStringLiteral("");
    const auto range = firstRow(c.db, QStringLiteral("SELECT * FROM book_ranges WHERE book_code = ? AND book = ?"),
                                {bookCode, c.get("@BK")});
    if (!range) {
        c.set("$ErrMsg", QStringLiteral("Book %1%2 is not on file for book scanning.").arg(bookCode, c.get("@BK")));
        return;
    }
    if (func == u"S") {
        const QString hostPath = share(c, c.get("$Path") + c.get("$PcFn"));
        if (c.get("$PcFn").isEmpty() || !QFileInfo(hostPathToLocal(hostPath)).isFile()) {
            c.set("$ErrMsg", QStringLiteral("Book scan image %1 was not found.").arg(c.get("$PcFn")));
            return;
        }
        registration(c, QStringLiteral("RG632R"), func, hostPath, QString(), c.get("@tPg"), QString());
        c.set("$ErrMsg", QString());
        return;
    }
    const int first = range->value(QStringLiteral("first_page")).toInt();
    const int last = range->value(QStringLiteral("last_page")).toInt();
    const int from = std::max(first, c.get("@sPG").toInt());
    const int askedTo = c.get("@ePG").toInt();
    const int to = askedTo <= 0 ? last : std::min(last, askedTo);
    if (from > to || from > last) {
        c.set("$ErrMsg", QStringLiteral("Pages %1 to %2 are outside book %3 (pages %4 to %5).")
                             .arg(c.get("@sPG"), c.get("@ePG"), c.get("@BK"))
                             .arg(first)
                             .arg(last));
        return;
    }
    if (ny)
        c.set("@BKCD", bookCode);
    c.set("@BK", range->value(QStringLiteral("book")));
    c.set("@sPG", zeros(from, 4));
    c.set("@ePG", zeros(to, 4));
    c.set("@Nump", zeros(to - from + 1, 4));
    c.set("@tPg", zeros(to - from + 1, 4));
    c.set("$Path", range->value(QStringLiteral("path")));
    c.set("$PcFn", range->value(QStringLiteral("prefix")).left(6) + zeros(from, 4) + QStringLiteral(".T"));
    c.set("$ErrMsg", QString());
}

const QVector<HostField> kTrio{{"PcNm", 10}, {"userid", 10}, {"ver#", 10}};

QVector<HostField> withTrio(std::initializer_list<HostField> rest)
{
    QVector<HostField> f = kTrio;
    for (const HostField &h : rest)
        f << h;
    return f;
}

QVector<HostField> im656rFields()
{
    static std::vector<QByteArray> names;
    QVector<HostField> f{{"DocumentInfo", 15}, {"Status", 1}, {"CoverPagePath", 255}};
    if (names.empty())
        for (int i = 1; i <= 30; ++i)
            names.push_back(QByteArray("CoverPageText") + QByteArray::number(i));
    for (const QByteArray &n : names)
        f << HostField{n.constData(), 77};
    f << HostField{"ErrMsg", 60};
    return f;
}

const std::map<QString, ProgramDef> &programs()
{
    static const std::map<QString, ProgramDef> defs{
        {QStringLiteral("SY983R"), {{{"userid", 10}, {"password", 10}, {"ErrMsg", 60}}, SY983R}},
        {QStringLiteral("IM650R"),
         {withTrio({{"Func", 1}, {"ApCd", 2}, {"MbGp", 2}, {"KyCd", 1}, {"DocId", 25}, {"RcCY", 4}, {"RcMM", 2},
                    {"RcDD", 2}, {"Ctl#", 5}, {"Dabr", 5}, {"Imid", 12}, {"PcFn", 12}, {"DoSz", 9}, {"Nump", 4},
                    {"ErrMsg", 60}, {"Redacted", 1}}),
          IM650R}},
        {QStringLiteral("IM091R"),
         {{{"Func", 1}, {"Imid", 12}, {"FlNM", 8}, {"sbDr", 12}, {"MbrNm", 10}, {"ErrMsg", 60}}, IM091R}},
        {QStringLiteral("IM652R"),
         {{{"PartnerId", 2},      {"SubmitCde", 10},     {"LocationCde", 10},     {"BatchId", 7},
           {"DocumentId", 10},    {"Func", 1},           {"RsltCd", 1},           {"ApCd", 2},
           {"KyCd", 1},           {"AlwEdt", 1},         {"ExtOrOvlPg", 1},       {"ISeriesBurnAnn", 1},
           {"InDocCtlYear", 4},   {"InDocCtlMonth", 2},  {"InDocCtlDay", 2},      {"InDocCtl#", 5},
           {"InDocBookCd", 1},    {"InDocBook#", 6},     {"InDocPage#", 4},       {"InDocInstrument#", 6},
           {"InDocPath", 255},    {"InDocID", 25},       {"InDocType", 5},        {"InDocNumPages", 4},
           {"BurnedImagePath", 255}, {"Group1Dflts", 4}, {"Group1", 80},          {"Group2Dflts", 4},
           {"Group2", 250},       {"Group3Dflts", 4},    {"Group3", 250},         {"Group4Dflts", 4},
           {"Group4", 120},       {"ErrMsg", 60},        {"UnIndexedEfile", 1},   {"WrkStationIP", 23}},
          IM652R}},
        {QStringLiteral("IM655R"),
         {withTrio({{"func", 1}, {"doc#", 7}, {"cert#", 25}, {"imid", 12}, {"flnm", 12}, {"sbdr", 12}, {"pcfn", 12},
                    {"DoSz", 9}, {"Nump", 4}, {"ErrMsg", 60}}),
          IM655R}},
        {QStringLiteral("IM656R"), {im656rFields(), IM656R}},
        {QStringLiteral("SY331RI"),
         {withTrio({{"DSFUNC", 1}, {"DSBK", 6}, {"DSPG", 4}, {"DSRSLT", 1}, {"DSRCCY", 4}, {"DSRCMM", 2},
                    {"DSRCDD", 2}, {"DSCTL#", 5}, {"INST#", 6}, {"KyCd", 1}, {"DocId", 25}}),
          SY331RI_MA}},
        {QStringLiteral("SY331RI/NY"),
         {withTrio({{"Func", 1}, {"BkCd", 1}, {"Bk", 6}, {"Pg", 4}, {"Rslt", 1}, {"RcCY", 4}, {"RcMM", 2}, {"RcDD", 2},
                    {"CTL#", 5}, {"REF#", 10}}),
          SY331RI_NY}},
        {QStringLiteral("SY330RI"),
         {withTrio({{"Func", 1}, {"RcCY", 4}, {"RcMM", 2}, {"RcDD", 2}, {"CTL#", 5}, {"Rslt", 1}, {"BkCd", 1},
                    {"Bk", 6}, {"Pg", 4}, {"REF#", 6}}),
          SY330RI}},
        {QStringLiteral("LC630RI"),
         {withTrio({{"DSFUNC", 1}, {"Doc#", 7}, {"DSRSLT", 1}, {"DSRCCY", 4}, {"DSRCMM", 2}, {"DSRCDD", 2},
                    {"DSCTL#", 5}, {"KyCd", 1}, {"DocId", 25}}),
          LC630RI}},
        {QStringLiteral("LP630RI"),
         {withTrio({{"DSFUNC", 1}, {"@Pln1", 6}, {"$Pln2", 3}, {"$Pln3", 2}, {"DSRSLT", 1}, {"DSRCCY", 4},
                    {"DSRCMM", 2}, {"DSRCDD", 2}, {"DSCTL#", 5}}),
          LP630RI}},
        {QStringLiteral("RG632R"),
         {withTrio({{"$FUNC", 1}, {"$ApCd", 2}, {"$MbGp", 2}, {"@BK", 6}, {"@sPG", 4}, {"@ePG", 4}, {"@Nump", 4},
                    {"@tPg", 4}, {"$Path", 32}, {"$PcFn", 12}, {"$ErrMsg", 60}}),
          [](ProgramCall &c) { RG632R(c, false); }}},
        {QStringLiteral("RG632R/NY"),
         {withTrio({{"$FUNC", 1}, {"$ApCd", 2}, {"$MbGp", 2}, {"@BKCD", 5}, {"@BK", 6}, {"@sPG", 4}, {"@ePG", 4},
                    {"@Nump", 4}, {"@tPg", 4}, {"$Path", 32}, {"$PcFn", 12}, {"$ErrMsg", 60}}),
          [](ProgramCall &c) { RG632R(c, true); }}},
        {QStringLiteral("FH631RI"),
         {withTrio({{"Func", 1}, {"RefCd", 2}, {"Ref#", 10}, {"Rslt", 1}, {"RcCY", 4}, {"RcMM", 2}, {"RcDD", 2},
                    {"CTL#", 5}, {"PcFn", 12}}),
          FH631RI}},
        {QStringLiteral("FH800R"),
         {{{"800Calr", 10}, {"RCcy", 4}, {"RCmm", 2}, {"RCdd", 2}, {"Ctl#", 5}, {"Imid", 12}, {"Iloc", 1},
           {"#Pgs", 4}, {"Dabr", 3}, {"800ST", 1}},
          FH800R}},
    };
    return defs;
}

} // namespace

const ProgramDef *findProgram(const QString &name, const QVector<int> &clientWidths)
{
    QString key = name.toUpper();
    // The host tells the forms apart by the layout of the buffers it is passed.
    if (key == u"SY331RI" && clientWidths.size() > 4 && clientWidths[4] == 1)
        key += QStringLiteral("/NY");
    if (key == u"RG632R" && clientWidths.size() > 6 && clientWidths[6] == 5)
        key += QStringLiteral("/NY");
    const auto &defs = programs();
    const auto it = defs.find(key);
    return it == defs.end() ? nullptr : &it->second;
}

} // namespace hostsim
