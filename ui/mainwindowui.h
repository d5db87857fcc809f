// The main window's form: every widget, its place and its text.
#ifndef MAINWINDOWUI_H
#define MAINWINDOWUI_H

#include <QtWidgets/QComboBox>
#include <QtWidgets/QGridLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QMainWindow>
#include <QtWidgets/QMenuBar>
#include <QtWidgets/QProgressBar>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QStatusBar>
#include <QtWidgets/QTableWidget>
#include <QtWidgets/QWidget>

class MainWindowUi
{
public:
    // In order of creation, which is also the keyboard focus chain.
    QWidget *centralwidget = nullptr;
    QPushButton *pushButton = nullptr;
    QPushButton *pushButton_2 = nullptr;
    QComboBox *comboBox = nullptr;
    QPushButton *pushButton_3 = nullptr;
    QProgressBar *memory = nullptr;
    QWidget *layoutWidget = nullptr;
    QGridLayout *gridLayout = nullptr;
    QLabel *label = nullptr;
    QLabel *totalMemory = nullptr;
    QLabel *label_2 = nullptr;
    QLabel *availableMemory = nullptr;
    QPushButton *pushButton_4 = nullptr;
    QPushButton *pushButton_5 = nullptr;
    QPushButton *pushButton_6 = nullptr;
    QPushButton *pushButton_7 = nullptr;
    QPushButton *pushButton_8 = nullptr;
    QTableWidget *tableWidget = nullptr;
    QMenuBar *menubar = nullptr;
    QStatusBar *statusbar = nullptr;

    // Builds the widgets on window and binds its on_<name>_clicked slots.
    void setupUi(QMainWindow *window);
    void retranslateUi(QMainWindow *window);
};

#endif // MAINWINDOWUI_H
