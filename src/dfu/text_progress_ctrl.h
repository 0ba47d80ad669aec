#pragma once

#include <QColor>
#include <QFrame>
#include <QString>

class QPainter;

// A progress bar that carries its own text. The bar part and the rest are filled in their own colours,
// and the text is drawn twice, each time clipped to one part, so that it changes colour exactly at the
// bar's edge. With no text set it shows the percentage.
class CTextProgressCtrl : public QFrame {
public:
    explicit CTextProgressCtrl(QWidget* pParent = nullptr);

    // Colours: stored only; the next paint uses them.
    void SetBarColour(const QColor& colour) { m_crBarClr = colour; }
    void SetBgColour(const QColor& colour) { m_crBgClr = colour; }
    void SetTextColour(const QColor& colour) { m_crTextClr = colour; }     // text over the background
    void SetTextBkColour(const QColor& colour) { m_crTextBkClr = colour; } // text over the bar
    QColor GetBarColour() const { return m_crBarClr; }
    QColor GetBgColour() const { return m_crBgClr; }
    QColor GetTextColour() const { return m_crTextClr; }
    QColor GetTextBkColour() const { return m_crTextBkClr; }

    void SetRange(int nLower, int nUpper);
    // Stores the position; redraws at once when the bar's width in pixels changes. Returns the previous one.
    int SetPos(int nPos);
    int GetPos() const { return m_nPos; }
    void SetShowText(bool bShow);
    bool GetShowText() const { return m_bShowText; }
    // The text; empty means the percentage is shown.
    void SetWindowText(const QString& strText);
    QString GetWindowText() const { return m_strText; }
    // Bar width in pixels of the last position, -1 when none was computed since the last resize.
    int GetBarWidth() const { return m_nBarWidth; }
    // The text a paint would show, and where the bar ends inside a client rectangle.
    QString DisplayText() const;
    int SplitAt(const QRect& client) const;

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    double Fraction() const;

    int m_nPos = 0;
    int m_nStepSize = 1;
    int m_nMax = 100;
    int m_nMin = 0;
    QString m_strText;
    bool m_bShowText = true;
    int m_nBarWidth = -1;
    QColor m_crBarClr;
    QColor m_crBgClr{255, 255, 250};
    QColor m_crTextClr;
    QColor m_crTextBkClr{255, 255, 250};
};
