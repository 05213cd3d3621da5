#include "app/Main.h"

TForm1::TForm1(const QStringList& arguments, QWidget* parent) : QWidget(parent) {
    Q_UNUSED(arguments);
    setWindowTitle(QStringLiteral("Kestrelvision"));
}

TForm1::~TForm1() = default;
