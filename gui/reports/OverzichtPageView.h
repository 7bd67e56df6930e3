#pragma once

#include <QAbstractScrollArea>

class QTextDocument;

namespace taviro {

// Shows one page of an overview that a worker thread has already laid out.
// A text browser would lay the page out again on the window's thread each
// time it is handed one, and a page of twenty-five reports with their tables
// holds the window up for longer than an operator will accept while alarms
// come in; this view only paints what is in sight.
// The page is laid out for the width the view reports through widthChanged;
// until a page for a new width arrives the old one is shown as it is.
class OverzichtPageView : public QAbstractScrollArea
{
    Q_OBJECT
public:
    explicit OverzichtPageView(QWidget* parent = nullptr);

    // Shows a laid-out document; the caller keeps it alive while it is shown.
    void setDocument(QTextDocument* doc);
    QTextDocument* document() const { return m_doc; }
    // A message instead of a page, laid out here: it is a few lines.
    void setPlainText(const QString& text);
    QString toPlainText() const;
    // The width a page should be laid out for to fit without a horizontal
    // scroll bar.
    int layoutWidth() const;

Q_SIGNALS:
    void widthChanged(int width);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void updateScrollBars();

    QTextDocument* m_doc = nullptr;
    QTextDocument* m_message = nullptr; // ours, for setPlainText
    int m_lastWidth = -1;
};

} // namespace taviro
