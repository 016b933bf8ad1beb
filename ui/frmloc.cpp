// The find dialog. It searches the main window's StoredProc1 from its first row, so the
// first of several equal numbers wins wherever the cursor stood; no match leaves the
// cursor where it was.
#include "ui/frmloc.h"

#include "framework/db/query.h"
#include "framework/text/text.h"
#include "framework/ui/boundary.h"
#include "framework/ui/fonts.h"
#include "framework/ui/messages.h"
#include "ui/frmmain.h"
#include "ui/globals.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

TfrmLoc::TfrmLoc(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmLoc"));
    setWindowTitle(QStringLiteral("运编号查找"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFont(ui::font105());
    setFixedSize(401, 79);

    Label1 = new QLabel(QStringLiteral("运编号:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(16, 28, 64, 20);

    edtInvoiceNO = new QLineEdit(this);
    edtInvoiceNO->setObjectName(QStringLiteral("edtInvoiceNO"));
    edtInvoiceNO->setGeometry(84, 25, 185, 24);
    ui::setPreferredInputMethod(edtInvoiceNO);

    btnLoc = new QPushButton(style()->standardIcon(QStyle::SP_FileDialogContentsView),
                             QStringLiteral("查找(&L)"), this);
    btnLoc->setObjectName(QStringLiteral("btnLoc"));
    btnLoc->setGeometry(306, 10, 75, 25);
    btnLoc->setDefault(true);
    btnLoc->setAutoDefault(true);

    btnClose = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton),
                               QStringLiteral("关闭(&C)"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setGeometry(306, 43, 75, 25);
    btnClose->setAutoDefault(false);

    connect(btnLoc, &QPushButton::clicked, this,
            [this] { ui::guarded([this] { btnLocClick(); }); });
    connect(btnClose, &QPushButton::clicked, this, [this] { ui::guarded([this] { reject(); }); });
    setTabOrder(edtInvoiceNO, btnLoc);
    setTabOrder(btnLoc, btnClose);
}

TfrmLoc::~TfrmLoc() {
    if (frmLoc == this)
        frmLoc = nullptr;
}

void TfrmLoc::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Centred on the desktop rather than on the owner.
    if (const QScreen* screen = QApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    edtInvoiceNO->setFocus();
}

void TfrmLoc::btnLocClick() {
    const QString wanted = text::trim(edtInvoiceNO->text());
    if (wanted.isEmpty()) {
        ui::ShowMessage(QStringLiteral("请输入要查找的运编号！"));
        return;
    }
    db::StoredProc* result = frmmain->StoredProc1;
    const db::DataSet::Bookmark before = result->GetBookmark();
    if (result->Locate(QStringLiteral("InvoiceNo"), wanted)) {
        accept();
        return;
    }
    // The user keeps his place when the number is not there.
    if (result->Active() && result->GetBookmark() != before)
        result->GotoBookmark(before);
    ui::ShowMessage(QStringLiteral("没有找到该运编号！"));
    edtInvoiceNO->setFocus();
}
