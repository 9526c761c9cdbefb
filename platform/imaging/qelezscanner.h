#pragma once
#include <QString>
#include <QStringList>

#include "platform/scan/scannersession.h"

class QelEzImage;

// The scanner members of the image control. Every member forwards to the process's scanner
// session, so all controls (and the dialogs bound to any of them) share one scanner. Scanned
// pages are handed to insertScannedPage, which puts them into the control's document.
class QelEzScanner {
public:
    virtual ~QelEzScanner() = default;

    // Driver and source.
    bool scannerOpen() const { return scannerSession().scannerOpen(); }
    void setScannerOpen(bool open) { scannerSession().setScannerOpen(open); }
    QStringList sourceList() { return scannerSession().sourceList(); }
    void selectSource(const QString &device = QString()) { scannerSession().selectSource(device); }
    QString sourceName() const { return scannerSession().sourceName(); }
    QString driverVersion() const { return scannerSession().driverVersion(); }
    QString defaultDriverVersion() const { return scannerSession().defaultDriverVersion(); }

    // Settings; reads give back what the device took.
    int paperSource() const { return scannerSession().paperSource(); }
    void setPaperSource(int source) { scannerSession().setPaperSource(source); }
    int duplex() const { return scannerSession().duplex(); }
    void setDuplex(int on) { scannerSession().setDuplex(on); }
    int resolution() const { return scannerSession().resolution(); }
    void setResolution(int dpi) { scannerSession().setResolution(dpi); }
    int brightness() const { return scannerSession().brightness(); }
    void setBrightness(int value) { scannerSession().setBrightness(value); }
    QString pageSize() const { return scannerSession().pageSize(); }
    void setPageSize(const QString &text) { scannerSession().setPageSize(text); }
    int scannerSetting(int number) const { return scannerSession().scannerSetting(number); }
    void setScannerSetting(int number, int value) { scannerSession().setScannerSetting(number, value); }

    void beginSettings() { scannerSession().beginSettings(); }
    void applySettings() { scannerSession().applySettings(); }
    void cancelSettings() { scannerSession().cancelSettings(); }
    void defaultSettings() { scannerSession().defaultSettings(); }

    // Region in pixels at the current resolution.
    int regionTop() const { return scannerSession().regionTop(); }
    int regionLeft() const { return scannerSession().regionLeft(); }
    int regionWidth() const { return scannerSession().regionWidth(); }
    int regionLength() const { return scannerSession().regionLength(); }
    void setRegionTop(int px) { scannerSession().setRegionTop(px); }
    void setRegionLeft(int px) { scannerSession().setRegionLeft(px); }
    void setRegionWidth(int px) { scannerSession().setRegionWidth(px); }
    void setRegionLength(int px) { scannerSession().setRegionLength(px); }

    // The settings file, per source name.
    void loadSettings(const QString &source, const QString &file) { scannerSession().loadSettings(source, file); }
    void saveSettings(const QString &source, const QString &file) const { scannerSession().saveSettings(source, file); }
    // "Key=value" items separated by commas.
    QString scanStateText() const { return scannerSession().scanStateText(); }

    // Scanning. scanPage scans one page (one sheet, both sides with duplex); an empty feeder
    // raises 4401. scanFeeder scans the feeder's sheets and returns quietly when it is empty.
    // Both return the number of pages put into the document; pages scanned before a failure
    // stay in it.
    int scanPage();
    int scanFeeder();
    void scanCancel() { scannerSession().scanCancel(); }
    // 1: the next scan inserts its pages at the current page instead of behind the last.
    int scanInsert() const { return m_scanInsert; }
    void setScanInsert(int on) { m_scanInsert = on ? 1 : 0; }
    // Set by the batch run after each document; the next scan clears it.
    bool documentDone() const { return m_documentDone; }
    void setDocumentDone(bool done) { m_documentDone = done; }

protected:
    // Puts a scanned page into the document. position: -1 behind the last page; 0 the first
    // page of an inserting scan, which takes the current page's place; n > 0 the scan's next
    // pages, each behind the page put in before it.
    virtual void insertScannedPage(const ScannedPage &page, int position) = 0;

private:
    int scan(bool allSheets);

    int m_scanInsert = 0;
    bool m_documentDone = false;
};

// The control's override: puts the page into its document as insertScannedPage describes; the
// page put in becomes the current page.
void insertScannedPageInto(QelEzImage &control, const ScannedPage &page, int position);

// The scanner members of an image control.
QelEzScanner &ezScanner(QelEzImage &control);
