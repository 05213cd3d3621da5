#pragma once

#include <QWidget>

class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(const QStringList& arguments, QWidget* parent = nullptr);
    ~TForm1() override;
};
