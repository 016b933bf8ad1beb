// The options dialog: layout, the opening steps that bind and position the two lists, and
// OK, which composes the choice on a copy of DllParams and stores it only when the rights
// check grants it.
#include "ui/fmsetoption.h"

#include "controls/dbviewcombo.h"
#include "data/fm_yycwdata.h"
#include "data/frmdata.h"
#include "framework/db/dataset.h"
#include "framework/db/field.h"
#include "framework/db/query.h"
#include "framework/text/errors.h"
#include "framework/text/text.h"
#include "framework/ui/boundary.h"
#include "framework/ui/fonts.h"
#include "framework/ui/messages.h"
#include "plugin/dllparams.h"
#include "ui/checkviewright.h"
#include "ui/frmmain.h"

#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QToolButton>

#include <string>

TfmSetOption* fmSetOption = nullptr;

namespace {

const QColor kSilver(0xC0, 0xC0, 0xC0);
constexpr int kFinancialListFromYear = 2004;

// The first n characters of GBK text, never half a double-byte character.
std::string prefix(const QString& s, std::size_t n) {
    return text::gbkPrefix(text::toGbk(s), n);
}
std::string prefix(const TShortString& s, std::size_t n) {
    return text::gbkPrefix(s.bytes(), n);
}

// The start year as a whole number, failing the way a string-to-integer conversion does.
int yearFromText(const QString& yearText) {
    bool ok = false;
    const int year = yearText.trimmed().toInt(&ok);
    if (!ok)
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(yearText));
    return year;
}

// The user id becomes a double-quoted literal; a quote inside it is doubled so the text
// cannot end the literal early.
QString quotedLiteral(const QString& s) {
    QString doubled = s;
    doubled.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + doubled + QLatin1Char('"');
}

// A small picture in two states, normal and disabled, drawn here: a tick or a cross.
QIcon buttonGlyph(bool tick) {
    QIcon icon;
    for (const QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled}) {
        QPixmap pm(16, 16);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        QColor color = tick ? QColor(0, 128, 0) : QColor(192, 0, 0);
        if (mode == QIcon::Disabled)
            color = QColor(128, 128, 128);
        p.setPen(QPen(color, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        if (tick) {
            p.drawPolyline(QPolygonF({QPointF(3, 8.5), QPointF(6.5, 12), QPointF(13, 4)}));
        } else {
            p.drawLine(QPointF(4, 4), QPointF(12, 12));
            p.drawLine(QPointF(12, 4), QPointF(4, 12));
        }
        p.end();
        icon.addPixmap(pm, mode);
    }
    return icon;
}

QLabel* label(QWidget* parent, const char* name, const QString& caption, int x, int y) {
    auto* l = new QLabel(caption, parent);
    l->setObjectName(QLatin1String(name));
    l->adjustSize();
    l->move(x, y);
    return l;
}

QToolButton* speedButton(QWidget* parent, const char* name, const QString& caption, bool tick,
                         const QRect& geometry) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setText(caption);
    b->setIcon(buttonGlyph(tick));
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setFocusPolicy(Qt::NoFocus);
    b->setGeometry(geometry);
    return b;
}

TDBViewCombo* viewCombo(QWidget* parent, const char* name, const QRect& geometry) {
    auto* c = new TDBViewCombo(parent);
    c->setObjectName(QLatin1String(name));
    c->SetColor(kSilver);
    c->SetDropDownCount(16);
    c->setGeometry(geometry);
    return c;
}

}  // namespace

TfmSetOption::TfmSetOption(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("fmSetOption"));
    setAttribute(Qt::WA_DeleteOnClose);  // FormClose: freed once closed
    buildControls();
    FormCreate();
}

TfmSetOption::~TfmSetOption() {
    if (fmSetOption == this)
        fmSetOption = nullptr;
}

void TfmSetOption::buildControls() {
    setWindowTitle(QStringLiteral("Tarvo外贸MIS           设置操作选项"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(419, 242);
    setFont(ui::font9());
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);
    setAutoFillBackground(true);

    GroupBox1 = new QGroupBox(QStringLiteral("选择对象"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(26, 19, 379, 116);

    Label5 = label(GroupBox1, "Label5", QStringLiteral("外销员范围"), 67, 30);
    cmDataset = new QComboBox(GroupBox1);
    cmDataset->setObjectName(QStringLiteral("cmDataset"));
    cmDataset->setEditable(true);
    cmDataset->setInsertPolicy(QComboBox::NoInsert);
    cmDataset->setGeometry(147, 27, 123, 20);
    {
        QPalette p = cmDataset->palette();
        p.setColor(QPalette::Base, kSilver);
        p.setColor(QPalette::Button, kSilver);
        cmDataset->setPalette(p);
    }
    cmDataset->addItems({QStringLiteral("C 全公司"), QStringLiteral("D 一个业务科"),
                         QStringLiteral("S 一个业务员/组")});
    // The design text is none of the items: a host view kind other than C, D, S shows it.
    cmDataset->setCurrentIndex(-1);
    cmDataset->setEditText(QStringLiteral("1 全公司"));
    ui::setPreferredInputMethod(cmDataset);

    lbOffice = label(GroupBox1, "lbOffice", QStringLiteral("业务部门"), 14, 75);
    dbvwOffice = viewCombo(GroupBox1, "dbvwOffice", QRect(66, 72, 113, 20));
    lbSalers = label(GroupBox1, "lbSalers", QStringLiteral("业务员/组"), 201, 75);
    dbvwSalers = viewCombo(GroupBox1, "dbvwSalers", QRect(260, 72, 103, 20));

    Label1 = label(this, "Label1", QStringLiteral("选择操作类型"), 38, 157);
    cbType = new QComboBox(this);
    cbType->setObjectName(QStringLiteral("cbType"));
    cbType->setGeometry(134, 154, 116, 20);
    cbType->addItem(QStringLiteral("R  查询"));

    cbxGroupCode = new QComboBox(this);
    cbxGroupCode->setObjectName(QStringLiteral("cbxGroupCode"));
    cbxGroupCode->setGeometry(293, 154, 100, 20);
    cbxGroupCode->setVisible(false);

    SpeedButton1 =
        speedButton(this, "SpeedButton1", QStringLiteral("确定"), true, QRect(123, 202, 78, 24));
    SpeedButton2 =
        speedButton(this, "SpeedButton2", QStringLiteral("取消"), false, QRect(242, 202, 68, 24));

    QWidget::setTabOrder(cmDataset, dbvwSalers);
    QWidget::setTabOrder(dbvwSalers, dbvwOffice);
    QWidget::setTabOrder(dbvwOffice, cbType);
    QWidget::setTabOrder(cbType, cbxGroupCode);

    connect(cmDataset, &QComboBox::editTextChanged, this,
            [this] { ui::guarded([this] { cmDatasetChange(); }); });
    connect(SpeedButton1, &QToolButton::clicked, this,
            [this] { ui::guarded([this] { SpeedButton1Click(); }); });
    connect(SpeedButton2, &QToolButton::clicked, this,
            [this] { ui::guarded([this] { SpeedButton2Click(); }); });

    // The department list is bound as the dialog is built; a failure is reported and the
    // dialog is still created.
    ui::guarded([this] {
        if (frmData) {
            dbvwOffice->SetDataSource(frmData->dsdepts);
            dbvwOffice->SetDataField(QStringLiteral("list"));
        }
    });
}

void TfmSetOption::FormCreate() {
    cbType->setCurrentIndex(0);
}

int TfmSetOption::exec() {
    try {
        Prepare();
    } catch (...) {
        // Never shown, so never closed: free it here, as closing would have.
        deleteLater();
        throw;
    }
    return QDialog::exec();
}

void TfmSetOption::Prepare() {
    if (m_prepared)
        return;
    m_prepared = true;
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    FormShow();
}

void TfmSetOption::showEvent(QShowEvent* event) {
    if (!m_prepared)
        ui::guarded([this] { Prepare(); });
    QDialog::showEvent(event);
}

void TfmSetOption::keyPressEvent(QKeyEvent* event) {
    // No cancel key: Escape does not end the dialog.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfmSetOption::reject() {
    done(2);
}

bool TfmSetOption::salersFromKernel() const {
    return frmData && dbvwSalers->DataSource() == frmData->dsSalers;
}

void TfmSetOption::FormShow() {
    const QString yearText =
        frmmain && frmmain->cbxYear1 ? frmmain->cbxYear1->currentText() : QString();
    const int year = yearFromText(yearText);

    if (year < kFinancialListFromYear) {
        dbvwSalers->SetDataSource(frmData->dsSalers);
        dbvwSalers->SetDataField(QStringLiteral("list"));
    } else {
        db::StoredProc* list = fm_YYCWData->sp_GetCwSalerList;
        dbvwSalers->SetDataSource(fm_YYCWData->ds_GetCwSalersList);
        list->Close();
        list->ParamByName(QStringLiteral("@curyear")).Value = CurYear;
        list->Open();
        db::Field* code = list->FieldByName(QStringLiteral("cDepCode"));
        for (list->First(); !list->Eof(); list->Next()) cbxGroupCode->addItem(code->AsString());
        dbvwSalers->SetDataField(QStringLiteral("cdepname"));
    }

    if (!frmData->qrSalers->Active())
        frmData->qrSalers->Open();
    if (!frmData->qrDepts->Active())
        frmData->qrDepts->Open();

    const std::string kind = DllParams.ViewKind.bytes();
    {
        const QSignalBlocker quiet(cmDataset);  // step 6 runs the change handler once
        // The item is selected, not only its text set, so that Down and Up move on from
        // it in the list.
        if (kind == "C") {
            cmDataset->setCurrentIndex(0);
        } else if (kind == "D") {
            cmDataset->setCurrentIndex(1);
        } else if (kind == "S") {
            cmDataset->setCurrentIndex(2);
        }
    }
    if (kind == "D")
        prLocateDept();
    else if (kind == "S")
        prLocateSaler();

    cmDatasetChange();
}

void TfmSetOption::cmDatasetChange() {
    const QString kindText = cmDataset->currentText();
    const QChar first = kindText.isEmpty() ? QChar() : kindText.front();
    if (first == QLatin1Char('C')) {
        dbvwOffice->setEnabled(false);
        dbvwSalers->setEnabled(false);
    } else if (first == QLatin1Char('D')) {
        dbvwOffice->setEnabled(true);
        dbvwSalers->setEnabled(false);
    } else if (first == QLatin1Char('S')) {
        dbvwOffice->setEnabled(false);
        dbvwSalers->setEnabled(true);
    }
}

void TfmSetOption::prLocateDept() {
    // The list follows the cursor, so its text is read afresh after every move.
    db::Query* depts = frmData->qrDepts;
    const std::string wanted = prefix(DllParams.ViewId, 2);
    dbvwOffice->hide();
    depts->First();
    while (!depts->Eof()) {
        if (prefix(dbvwOffice->Text(), 2) == wanted)
            break;
        depts->Next();
    }
    dbvwOffice->show();
}

void TfmSetOption::prLocateSaler() {
    const std::string wanted = prefix(DllParams.ViewId, 4);
    if (salersFromKernel()) {
        db::Query* salers = frmData->qrSalers;
        dbvwSalers->hide();
        salers->First();
        while (!salers->Eof()) {
            if (prefix(dbvwSalers->Text(), 4) == wanted)
                break;
            salers->Next();
        }
        dbvwSalers->show();
    } else if (dbvwSalers->DataSource() == fm_YYCWData->ds_GetCwSalersList) {
        dbvwSalers->hide();
        const int index = cbxGroupCode->findText(text::fromGbk(wanted),
                                                 Qt::MatchFixedString);  // whole item, any case
        dbvwSalers->SelectItem(index);
        dbvwSalers->show();
    }
    if (dbvwSalers->ItemIndex() == -1)
        dbvwSalers->SelectItem(0);
}

void TfmSetOption::SpeedButton1Click() {
    TDllParams candidate = DllParams;
    const QString kindText = cmDataset->currentText();
    const QString kind = kindText.left(1);
    candidate.ViewKind.assign(kind);

    if (kind == QLatin1String("D")) {
        candidate.ViewId.assign(std::string_view(prefix(dbvwOffice->Text(), 2)));
    } else if (kind == QLatin1String("S")) {
        if (salersFromKernel()) {
            const std::string userId = prefix(dbvwSalers->Text(), 4);
            candidate.ViewId.assign(std::string_view(userId));
            db::Query* general = frmData->qrGeneral2;
            general->Close();
            general->SQL().clear();
            general->SQL().append(
                QStringLiteral("  select \"dept\"=dept from users where userid=") +
                quotedLiteral(text::fromGbk(userId)) + QLatin1Char(' '));
            general->Open();
            const QString dept = general->IsEmpty()
                                     ? QString()
                                     : general->FieldByName(QStringLiteral("dept"))->AsString();
            candidate.ViewDept.assign(dept);
        } else {
            const int i = dbvwSalers->ItemIndex();
            const QString code =
                i >= 0 && i < cbxGroupCode->count() ? cbxGroupCode->itemText(i) : QString();
            candidate.ViewId.assign(code);
            candidate.ViewDept.assign(fm_YYCWData->CwDept2YwDept(CurYear, code));
        }
    }
    candidate.OperationType.assign(cbType->currentText().left(1));

    if (!CheckViewRight(candidate)) {
        ui::ShowMessage(QStringLiteral("用户无足够权限!"));
        return;
    }
    DllParams.ViewKind = candidate.ViewKind;
    DllParams.ViewId = candidate.ViewId;
    DllParams.OperationType = candidate.OperationType;
    DllParams.ViewDept = candidate.ViewDept;
    done(1);
}

void TfmSetOption::SpeedButton2Click() {
    done(2);
}
