#pragma once

#include <QDialog>
#include <QTimer>

// "Informazioni": the program's name, version line and date.
class InfoBox : public QDialog {
    Q_OBJECT
public:
    explicit InfoBox(QWidget *parent = nullptr);

public slots:
    void Command1_Click(); // "OK"
    void Timer1_Timer();   // a tick with nothing to do

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QTimer m_timer1;
};
