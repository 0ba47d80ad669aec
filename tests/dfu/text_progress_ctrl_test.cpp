#include "dfu/text_progress_ctrl.h"

#include <QImage>
#include <QPainter>
#include <QSet>

#include <gtest/gtest.h>

namespace {

const QColor kBar(0, 0, 200);
const QColor kBackground(255, 255, 250);
const QColor kTextOverBar(255, 255, 0);
const QColor kTextOverBackground(200, 0, 0);

// A control with four distinct colours and a font without anti-aliasing, so every text pixel is exactly
// one of the two text colours.
void Prepare(CTextProgressCtrl& bar, int width = 202, int height = 22)
{
    QFont font = bar.font();
    font.setPixelSize(16);
    font.setStyleStrategy(QFont::NoAntialias);
    bar.setFont(font);
    bar.resize(width, height);
    bar.SetBarColour(kBar);
    bar.SetBgColour(kBackground);
    bar.SetTextBkColour(kTextOverBar);
    bar.SetTextColour(kTextOverBackground);
}

QImage Render(CTextProgressCtrl& bar)
{
    QImage image(bar.size(), QImage::Format_RGB32);
    image.fill(Qt::black);
    bar.render(&image);
    return image;
}

// The colours found inside the client area between two x positions (end excluded).
QSet<QRgb> ColoursBetween(const QImage& image, const QRect& client, int x0, int x1)
{
    QSet<QRgb> colours;
    for (int y = client.top(); y <= client.bottom(); ++y) {
        for (int x = x0; x < x1; ++x) {
            colours.insert(image.pixel(x, y) & 0xFFFFFFu);
        }
    }
    return colours;
}

QRgb Rgb(const QColor& c)
{
    return c.rgb() & 0xFFFFFFu;
}

TEST(TextProgressCtrl, StoresPositionAndComputesTheBarWidth)
{
    CTextProgressCtrl bar;
    bar.resize(202, 20); // a one-pixel border: 200 pixels of client area
    bar.show();
    EXPECT_EQ(bar.GetBarWidth(), -1);
    EXPECT_EQ(bar.SetPos(37), 0);
    EXPECT_EQ(bar.GetBarWidth(), 74);
    EXPECT_EQ(bar.SetPos(50), 37);
    EXPECT_EQ(bar.GetBarWidth(), 100);

    bar.SetRange(50, 150);
    EXPECT_EQ(bar.SetPos(100), 50);
    EXPECT_EQ(bar.GetBarWidth(), 100);
    EXPECT_EQ(bar.DisplayText(), "50%");

    bar.resize(302, 20);
    EXPECT_EQ(bar.GetBarWidth(), -1);

    // An empty range neither divides by zero nor paints.
    bar.SetRange(10, 10);
    EXPECT_EQ(bar.SetPos(10), 100);
    EXPECT_EQ(bar.GetBarWidth(), 0);
}

TEST(TextProgressCtrl, TextRules)
{
    CTextProgressCtrl bar;
    EXPECT_TRUE(bar.GetShowText());
    EXPECT_EQ(bar.GetBgColour(), QColor(255, 255, 250));
    EXPECT_EQ(bar.GetTextBkColour(), QColor(255, 255, 250));
    bar.SetPos(37);
    EXPECT_EQ(bar.DisplayText(), "37%");
    for (int p : {29, 57, 58}) { // 0.29 * 100 in floating point would truncate to 28
        bar.SetPos(p);
        EXPECT_EQ(bar.DisplayText(), QString::number(p) + "%");
    }
    bar.SetPos(37);
    bar.SetWindowText("VTC Mini 00: Upgrade successful !");
    EXPECT_EQ(bar.DisplayText(), "VTC Mini 00: Upgrade successful !");
    EXPECT_EQ(bar.GetWindowText(), "VTC Mini 00: Upgrade successful !");
    bar.SetWindowText("");
    EXPECT_EQ(bar.DisplayText(), "37%");
}

TEST(TextProgressCtrl, PaintsTheSplitAndChangesTextColourAtTheBarEdge)
{
    CTextProgressCtrl bar;
    Prepare(bar);
    const QRect client = bar.contentsRect();

    bar.SetPos(37);
    QImage image = Render(bar);
    const int split = bar.SplitAt(client);
    EXPECT_EQ(split, client.left() + 74);
    // Left of the split only bar colours, right of it only background colours.
    const QSet<QRgb> left = ColoursBetween(image, client, client.left(), split);
    const QSet<QRgb> right = ColoursBetween(image, client, split, client.right() + 1);
    EXPECT_TRUE(left.contains(Rgb(kBar)));
    EXPECT_TRUE(right.contains(Rgb(kBackground)));
    EXPECT_TRUE(right.contains(Rgb(kTextOverBackground))) << "the text 37% is drawn";
    for (QRgb c : left) {
        EXPECT_TRUE(c == Rgb(kBar) || c == Rgb(kTextOverBar)) << std::hex << c;
    }
    for (QRgb c : right) {
        EXPECT_TRUE(c == Rgb(kBackground) || c == Rgb(kTextOverBackground)) << std::hex << c;
    }

    // A text across the split: both text colours, each on its own side.
    bar.SetWindowText("MMMMMMMMMMMM");
    bar.SetPos(50);
    image = Render(bar);
    const int middle = bar.SplitAt(client);
    const QSet<QRgb> barSide = ColoursBetween(image, client, client.left(), middle);
    const QSet<QRgb> restSide = ColoursBetween(image, client, middle, client.right() + 1);
    EXPECT_TRUE(barSide.contains(Rgb(kTextOverBar)));
    EXPECT_FALSE(barSide.contains(Rgb(kTextOverBackground)));
    EXPECT_TRUE(restSide.contains(Rgb(kTextOverBackground)));
    EXPECT_FALSE(restSide.contains(Rgb(kTextOverBar)));

    // Without text display only the two fills remain.
    bar.SetShowText(false);
    image = Render(bar);
    EXPECT_EQ(ColoursBetween(image, client, client.left(), middle), QSet<QRgb>{Rgb(kBar)});
    EXPECT_EQ(ColoursBetween(image, client, middle, client.right() + 1), QSet<QRgb>{Rgb(kBackground)});
}

TEST(TextProgressCtrl, PaintsNothingWithAnEmptyRange)
{
    CTextProgressCtrl bar;
    Prepare(bar);
    bar.SetRange(100, 0);
    bar.SetPos(50);
    const QImage image = Render(bar);
    const QRect client = bar.contentsRect();
    const QSet<QRgb> colours = ColoursBetween(image, client, client.left(), client.right() + 1);
    EXPECT_FALSE(colours.contains(Rgb(kBar)));
    EXPECT_FALSE(colours.contains(Rgb(kBackground)));
}

} // namespace
