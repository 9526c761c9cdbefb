#pragma once
// The programs' parameters as the workstation creates them, shared by the emulator's tests and
// the workstation's.
#include <QString>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

// One parameter as the workstation creates it: name, width and the value it sets (none = unset).
struct Param {
    const char *name;
    int width;
    std::optional<QString> value = std::nullopt;
};

inline std::vector<Param> trio()
{
    return {{"PcNm", 10, QString("WS01")}, {"userid", 10, QString("JSMITH")}, {"ver#", 10, QString("03.70.3000")}};
}

inline std::vector<Param> operator+(std::vector<Param> a, const std::vector<Param> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The list with the named values replaced (nullopt: unset).
inline std::vector<Param> set(std::vector<Param> p,
                              std::initializer_list<std::pair<const char *, std::optional<QString>>> values)
{
    for (const auto &[name, value] : values) {
        const auto it = std::find_if(p.begin(), p.end(), [&](const Param &x) { return qstrcmp(x.name, name) == 0; });
        if (it == p.end())
            ADD_FAILURE() << "no parameter " << name;
        else
            it->value = value;
    }
    return p;
}

// The programs' parameter lists as the workstation sends them, with the values of a start request.
inline std::vector<Param> signOnParams()
{
    return {{"userid", 10, QString("JSMITH")}, {"password", 10, QString("Secret1")}, {"ErrMsg", 60}};
}

inline std::vector<Param> landRecordsLookup() // SY331RI
{
    return trio() + std::vector<Param>{{"DSFUNC", 1, QString("A")}, {"DSBK", 6, QString("000100")},
                                       {"DSPG", 4, QString("0001")}, {"DSRSLT", 1},
                                       {"DSRCCY", 4, QString("0000")}, {"DSRCMM", 2, QString("00")},
                                       {"DSRCDD", 2, QString("00")}, {"DSCTL#", 5, QString("00000")},
                                       {"INST#", 6, QString("000000")}, {"KyCd", 1, QString("")},
                                       {"DocId", 25, QString("")}};
}

inline std::vector<Param> newYorkBookLookup() // SY331RI, the New York form
{
    return trio() + std::vector<Param>{{"Func", 1, QString("A")},  {"BkCd", 1, QString("M")},
                                       {"Bk", 6, QString("001234")}, {"Pg", 4, QString("0010")},
                                       {"Rslt", 1, QString("0")},  {"RcCY", 4, QString("0000")},
                                       {"RcMM", 2, QString("00")}, {"RcDD", 2, QString("00")},
                                       {"CTL#", 5, QString("00000")}, {"REF#", 10, QString("0000000000")}};
}

inline std::vector<Param> controlNumberLookup() // SY330RI
{
    return trio() + std::vector<Param>{{"Func", 1, QString("A")},  {"RcCY", 4, QString("2019")},
                                       {"RcMM", 2, QString("06")}, {"RcDD", 2, QString("07")},
                                       {"CTL#", 5, QString("00078")}, {"Rslt", 1}, {"BkCd", 1}, {"Bk", 6},
                                       {"Pg", 4}, {"REF#", 6}};
}

inline std::vector<Param> landCourtLookup() // LC630RI
{
    return trio() + std::vector<Param>{{"DSFUNC", 1, QString("A")},   {"Doc#", 7, QString("0001234")},
                                       {"DSRSLT", 1},                 {"DSRCCY", 4, QString("0000")},
                                       {"DSRCMM", 2, QString("00")},  {"DSRCDD", 2, QString("00")},
                                       {"DSCTL#", 5, QString("00000")}, {"KyCd", 1, QString("")},
                                       {"DocId", 25, QString("")}};
}

inline std::vector<Param> planLookup() // LP630RI
{
    return trio() + std::vector<Param>{{"DSFUNC", 1, QString("A")},   {"@Pln1", 6, QString("000123")},
                                       {"$Pln2", 3, QString("A")},    {"$Pln3", 2, QString("01")},
                                       {"DSRSLT", 1},                 {"DSRCCY", 4, QString("2000")},
                                       {"DSRCMM", 2, QString("01")},  {"DSRCDD", 2, QString("01")},
                                       {"DSCTL#", 5, QString("00001")}};
}

inline std::vector<Param> referenceLookup() // FH631RI
{
    return trio() + std::vector<Param>{{"Func", 1, QString("A")},    {"RefCd", 2, QString("AB")},
                                       {"Ref#", 10, QString("0000012345")}, {"Rslt", 1, QString("0")},
                                       {"RcCY", 4, QString("0000")}, {"RcMM", 2, QString("00")},
                                       {"RcDD", 2, QString("00")},   {"CTL#", 5, QString("00000")},
                                       {"PcFn", 12, QString("000000000000")}};
}

inline std::vector<Param> imageMaster() // IM650R
{
    return trio() + std::vector<Param>{{"Func", 1, QString("A")},    {"ApCd", 2, QString("LR")},
                                       {"MbGp", 2, QString("LR")},   {"KyCd", 1, QString("K")},
                                       {"DocId", 25, QString("")},   {"RcCY", 4, QString("2020")},
                                       {"RcMM", 2, QString("01")},   {"RcDD", 2, QString("03")},
                                       {"Ctl#", 5, QString("00012")}, {"Dabr", 5},
                                       {"Imid", 12},                 {"PcFn", 12, QString("blank")},
                                       {"DoSz", 9, QString("000001000")}, {"Nump", 4, QString("0000")},
                                       {"ErrMsg", 60},               {"Redacted", 1, QString("N")}};
}

inline std::vector<Param> imageLocation(const QString &imid) // IM091R
{
    return {{"Func", 1, QString("V")}, {"Imid", 12, imid}, {"FlNM", 8}, {"sbDr", 12}, {"MbrNm", 10}, {"ErrMsg", 60}};
}

inline std::vector<Param> certificate() // IM655R
{
    return trio() + std::vector<Param>{{"func", 1, QString("A")}, {"doc#", 7}, {"cert#", 25}, {"imid", 12},
                                       {"flnm", 12}, {"sbdr", 12}, {"pcfn", 12, QString("")},
                                       {"DoSz", 9, QString("")}, {"Nump", 4, QString("")}, {"ErrMsg", 60}};
}

inline std::vector<Param> bookRange(bool newYork) // RG632R, with @BKCD in the New York form
{
    std::vector<Param> p = trio() + std::vector<Param>{{"$FUNC", 1, QString("A")}, {"$ApCd", 2, QString("LR")},
                                                       {"$MbGp", 2, QString("LR")}};
    if (newYork)
        p.push_back({"@BKCD", 5, QString("NYREG")});
    return p + std::vector<Param>{{"@BK", 6, QString("000500")}, {"@sPG", 4, QString("0010")},
                                  {"@ePG", 4, QString("0020")}, {"@Nump", 4, QString("0000")},
                                  {"@tPg", 4, QString("0000")}, {"$Path", 32, QString(" ")},
                                  {"$PcFn", 12, QString(" ")},  {"$ErrMsg", 60, QString(" ")}};
}

inline std::vector<Param> efileQueue() // IM652R, nothing set
{
    return {{"PartnerId", 2},      {"SubmitCde", 10},      {"LocationCde", 10},    {"BatchId", 7},
            {"DocumentId", 10},    {"Func", 1},            {"RsltCd", 1},          {"ApCd", 2},
            {"KyCd", 1},           {"AlwEdt", 1},          {"ExtOrOvlPg", 1},      {"ISeriesBurnAnn", 1},
            {"InDocCtlYear", 4},   {"InDocCtlMonth", 2},   {"InDocCtlDay", 2},     {"InDocCtl#", 5},
            {"InDocBookCd", 1},    {"InDocBook#", 6},      {"InDocPage#", 4},      {"InDocInstrument#", 6},
            {"InDocPath", 255},    {"InDocID", 25},        {"InDocType", 5},       {"InDocNumPages", 4},
            {"BurnedImagePath", 255}, {"Group1Dflts", 4},  {"Group1", 80},         {"Group2Dflts", 4},
            {"Group2", 250},       {"Group3Dflts", 4},     {"Group3", 250},        {"Group4Dflts", 4},
            {"Group4", 120},       {"ErrMsg", 60},         {"UnIndexedEfile", 1},  {"WrkStationIP", 23}};
}

// The cover-page call's 34 parameters with the document information set.
inline std::vector<Param> coverPageParams(const QString &info)
{
    static std::vector<QByteArray> names;
    if (names.empty())
        for (int i = 1; i <= 30; ++i)
            names.push_back("CoverPageText" + QByteArray::number(i));
    std::vector<Param> p{{"DocumentInfo", 15, info}, {"Status", 1}, {"CoverPagePath", 255}};
    for (const QByteArray &n : names)
        p.push_back({n.constData(), 77});
    p.push_back({"ErrMsg", 60});
    return p;
}
