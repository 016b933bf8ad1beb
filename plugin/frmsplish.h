// The splash window shown while dllmain connects the databases and builds the main window:
// a small frameless box with the product logo and a "please wait" line.
#pragma once

#include <QImage>
#include <QWidget>

class QLabel;
class QFrame;

class TFrmsplish : public QWidget {
public:
    explicit TFrmsplish(QWidget* parent = nullptr);

    QLabel* Image1;
    QFrame* Bevel1;
    QFrame* Bevel2;
    QLabel* Label1;
};

// The logo: 241 x 105, 24-bit colour, drawn in code.
QImage splashLogo();

// The splash window while it exists; not cleared when it is destroyed.
extern TFrmsplish* Frmsplish;
