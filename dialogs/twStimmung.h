// The key selector "OV Stimmung": transposition by a key of the circle of fifths.
#pragma once

#include <QDialog>

class QListWidget;
class QPlainTextEdit;

class TfrmStimmung : public QDialog {
public:
    explicit TfrmStimmung(QWidget* mainWindow);
    QListWidget* lbStimmung = nullptr;
    QPlainTextEdit* memInt = nullptr;
    void lbStimmungClick();
};

extern TfrmStimmung* frmStimmung;
