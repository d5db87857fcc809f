#include "app/mainwindow.h"

#include "app/portscan.h"
#include "app/replytable.h"
#include "catalogue/filelisting.h"
#include "catalogue/memoryreport.h"
#include "commands/execute.h"
#include "commands/format.h"
#include "commands/reboot.h"
#include "commands/remove.h"
#include "link/linetrace.h"
#include "link/portconnection.h"
#include "transfer/download.h"
#include "transfer/upload.h"
#include "ui/mainwindowui.h"

#include <QtWidgets/QHeaderView>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new MainWindowUi)
{
    ui->setupUi(this);
    on_pushButton_6_clicked();
    setWindowFlags(Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    ui->tableWidget->setColumnCount(FileColumnCount);
    // Some styles' fonts make the default minimum wider than the icon column.
    ui->tableWidget->horizontalHeader()->setMinimumSectionSize(16);
    ui->tableWidget->setColumnWidth(TypeColumn, 28);
    ui->tableWidget->setColumnWidth(NameColumn, 230);
    ui->tableWidget->setColumnWidth(SizeColumn, 77);
    ui->tableWidget->setSelectionBehavior(QAbstractItemView::SelectRows);
    startTraceFromEnvironment();
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::on_pushButton_clicked()
{
    startDownload(*ui);
}

void MainWindow::on_pushButton_2_clicked()
{
    startUpload(*ui);
}

void MainWindow::on_pushButton_3_clicked()
{
    togglePortConnection(*ui, makeReplyTable(*ui), [] { requestMemoryReport(); });
}

void MainWindow::on_pushButton_6_clicked()
{
    scanPorts(*ui);
}

void MainWindow::on_pushButton_4_clicked()
{
    startRemove(*ui);
}

void MainWindow::on_pushButton_5_clicked()
{
    startFormat(*ui);
}

void MainWindow::on_pushButton_7_clicked()
{
    startExecute(*ui);
}

void MainWindow::on_pushButton_8_clicked()
{
    startReboot(*ui);
}
