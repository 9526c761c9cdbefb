#pragma once
// A word-wrapped label that takes the height its text needs at its width (a label with
// AutoSize and WordWrap set), and says when that height changed.
#include <QLabel>

class AutoSizeLabel : public QLabel {
    Q_OBJECT
public:
    explicit AutoSizeLabel(QWidget *parent = nullptr);
    void setText(const QString &text);
    // The height the text needs at the label's width.
    int neededHeight() const;

signals:
    void heightChanged();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void fit();
};
