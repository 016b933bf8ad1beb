// The statement window: its controls, the creation and close steps, and the command
// handlers. The statistics run itself lives in statistics.cpp. Every handler body runs
// inside the event boundary, so a database error becomes the standard error box.
#include "ui/frmmain.h"

#include "data/fm_yycwdata.h"
#include "data/frmdata.h"
#include "framework/db/datalink.h"
#include "framework/db/query.h"
#include "framework/grid/dbgrid.h"
#include "framework/ui/application.h"
#include "framework/ui/boundary.h"
#include "framework/ui/fonts.h"
#include "plugin/dllparams.h"
#include "report/printrun.h"
#include "ui/fmsetoption.h"
#include "ui/frmloc.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>
#include <memory>
#include <utility>

namespace {

const QString kBusinessConnection = QStringLiteral("DB_Calvesteri");

template <typename W>
W* named(W* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QComboBox* periodBox(QWidget* parent, const char* name, int width, int maxLength, int rows) {
    auto* box = named(new QComboBox(parent), name);
    box->setEditable(true);
    // Enter must not add the typed text to the list.
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setFont(ui::font105());
    box->setFixedSize(width, 22);
    box->setMaxVisibleItems(rows);
    box->lineEdit()->setMaxLength(maxLength);
    // The box keeps exactly what was typed: completing "1" to "10" changed the period.
    box->setCompleter(nullptr);
    ui::setPreferredInputMethod(box);
    return box;
}

QPushButton* commandButton(QWidget* parent, const char* name, const QString& caption,
                           const QIcon& icon) {
    auto* button = named(new QPushButton(icon, caption, parent), name);
    button->setFixedSize(70, 25);
    button->setIconSize(QSize(14, 14));
    button->setAutoDefault(false);
    return button;
}

}  // namespace

Tfrmmain::Tfrmmain(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("frmmain"));
    setWindowTitle(QStringLiteral("出口盈亏表"));
    setFont(ui::font9());
    resize(808, 580);
    if (parent == nullptr)
        ui::Application::instance().adoptWindow(this);

    buildDataSets();
    buildTopBar();
    buildGrid();
    buildStatusBar();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1);
    layout->addWidget(DBGridEh1, 1);
    layout->addWidget(SBar);

    // The window is created even when a creation step fails; the boundary shows the error.
    ui::guarded([this] { FormCreate(); });
    // A creation that ended before a run counted its result must not show the design's
    // figures ("共有200笔未收汇纪录") as if they were the statement's.
    if (SBarPanel[1]->text() == kDesignCountText) {
        SBarPanel[1]->clear();
        SBarPanel[2]->clear();
    }
}

Tfrmmain::~Tfrmmain() {
    // The grid lets go of the data source before either of them goes.
    DBGridEh1->setDataSource(nullptr);
    // Also when the window goes without closing (library unload): it is no longer up.
    OnScreenFlag = 0;
    if (frmmain == this)
        frmmain = nullptr;
}

void Tfrmmain::buildDataSets() {
    StoredProc1 = named(new db::StoredProc(this), "StoredProc1");
    StoredProc1->SetDatabaseName(kBusinessConnection);
    StoredProc1->SetStoredProcName(QStringLiteral("dbo.StatCalvesteri"));
    for (const char* name :
         {"@ViewObject", "@deptid", "@salerid", "@year1", "@month1", "@year2", "@month2"})
        StoredProc1->addParam(QLatin1String(name), db::FieldType::String, db::ParamType::Input);
    StoredProc1->addParam(QStringLiteral("@queryOption"), db::FieldType::Integer,
                          db::ParamType::Input);
    StoredProc1->AfterOpen = [this](db::DataSet& ds) { StoredProc1AfterOpen(ds); };

    sp_ImportYYCWData = named(new db::StoredProc(this), "sp_ImportYYCWData");
    sp_ImportYYCWData->SetDatabaseName(kBusinessConnection);
    sp_ImportYYCWData->SetStoredProcName(QStringLiteral("dbo.ImportYYCWDATA"));
    sp_ImportYYCWData->addParam(QStringLiteral("@year1"), db::FieldType::String,
                                db::ParamType::Input);
    sp_ImportYYCWData->addParam(QStringLiteral("@year2"), db::FieldType::String,
                                db::ParamType::Input);

    DataSource1 = named(new db::DataSource(this), "DataSource1");
    DataSource1->setDataSet(StoredProc1);
}

void Tfrmmain::buildTopBar() {
    Panel1 = named(new QFrame(this), "Panel1");
    Panel1->setFixedHeight(30);
    auto* bar = new QHBoxLayout(Panel1);
    bar->setContentsMargins(1, 2, 1, 2);
    bar->setSpacing(2);

    Panel2 = named(new QFrame(Panel1), "Panel2");
    Panel2->setFrameShape(QFrame::Panel);
    Panel2->setFrameShadow(QFrame::Raised);
    auto* period = new QHBoxLayout(Panel2);
    period->setContentsMargins(3, 1, 3, 1);
    period->setSpacing(1);
    Label1 = named(new QLabel(QStringLiteral("从"), Panel2), "Label1");
    cbxYear1 = periodBox(Panel2, "cbxYear1", 64, 4, 15);
    cbxMonth1 = periodBox(Panel2, "cbxMonth1", 47, 2, 12);
    Label2 = named(new QLabel(QStringLiteral("到"), Panel2), "Label2");
    cbxyear2 = periodBox(Panel2, "cbxyear2", 59, 4, 12);
    cbxmonth2 = periodBox(Panel2, "cbxmonth2", 48, 2, 12);
    for (QWidget* w : {static_cast<QWidget*>(Label1), static_cast<QWidget*>(cbxYear1),
                       static_cast<QWidget*>(cbxMonth1), static_cast<QWidget*>(Label2),
                       static_cast<QWidget*>(cbxyear2), static_cast<QWidget*>(cbxmonth2)})
        period->addWidget(w);
    // A keyboard's keys reach the combo box (it has the focus and hands them to its line
    // edit directly, past that edit's filters); the filter sits on both in case something
    // delivers to the line edit itself. It filters the years' typing and keeps the window's
    // export shortcuts from the line edits of all four.
    for (QComboBox* box : {cbxYear1, cbxMonth1, cbxyear2, cbxmonth2}) {
        box->installEventFilter(this);
        box->lineEdit()->installEventFilter(this);
    }

    cbxOption = named(new QComboBox(Panel1), "cbxOption");
    cbxOption->setEditable(false);
    cbxOption->setFont(ui::font105());
    cbxOption->setFixedSize(97, 22);
    cbxOption->addItems({QStringLiteral("全部"), QStringLiteral("未收汇部分")});
    cbxOption->setCurrentIndex(-1);  // chosen by the creation steps
    ui::setPreferredInputMethod(cbxOption);

    QStyle* st = style();
    btnView = commandButton(Panel1, "btnView", QStringLiteral("查看(&Q)"),
                            st->standardIcon(QStyle::SP_BrowserReload));
    btnQuery = commandButton(Panel1, "btnQuery", QStringLiteral("查找(&L)"),
                             st->standardIcon(QStyle::SP_FileDialogContentsView));
    btnSetOption = commandButton(Panel1, "btnSetOption", QStringLiteral("对象(&O)"),
                                 st->standardIcon(QStyle::SP_FileDialogDetailedView));
    btnPrint = commandButton(Panel1, "btnPrint", QStringLiteral("打印(&P)"),
                             QIcon::fromTheme(QStringLiteral("document-print"),
                                              st->standardIcon(QStyle::SP_DialogSaveButton)));

    Panel3 = named(new QFrame(Panel1), "Panel3");
    Panel3->setFrameShape(QFrame::Box);
    Panel3->setFrameShadow(QFrame::Sunken);
    auto* checkFrame = new QHBoxLayout(Panel3);
    checkFrame->setContentsMargins(2, 1, 2, 1);
    chkRowSelect = named(new QCheckBox(QStringLiteral("行选中(&R)"), Panel3), "chkRowSelect");
    chkRowSelect->setChecked(true);
    checkFrame->addWidget(chkRowSelect);

    BitBtn5 = commandButton(Panel1, "BitBtn5", QStringLiteral("关闭(&C)"),
                            st->standardIcon(QStyle::SP_DialogCloseButton));

    bar->addWidget(Panel2);
    bar->addWidget(cbxOption);
    for (QPushButton* b : {btnView, btnQuery, btnSetOption, btnPrint}) bar->addWidget(b);
    bar->addWidget(Panel3);
    bar->addWidget(BitBtn5);
    bar->addStretch(1);

    connect(btnView, &QPushButton::clicked, this,
            [this] { ui::guarded([this] { btnViewClick(); }); });
    connect(btnQuery, &QPushButton::clicked, this,
            [this] { ui::guarded([this] { btnQueryClick(); }); });
    connect(btnSetOption, &QPushButton::clicked, this,
            [this] { ui::guarded([this] { btnSetOptionClick(); }); });
    connect(btnPrint, &QPushButton::clicked, this,
            [this] { ui::guarded([this] { btnPrintClick(); }); });
    connect(chkRowSelect, &QCheckBox::toggled, this,
            [this] { ui::guarded([this] { chkRowSelectClick(); }); });
    connect(BitBtn5, &QPushButton::clicked, this, &QWidget::close);
}

void Tfrmmain::buildGrid() {
    DBGridEh1 = named(new grid::DBGrid(this), "DBGridEh1");
    DBGridEh1->setFont(ui::font9());
    ui::setPreferredInputMethod(DBGridEh1);

    using grid::Align;
    using grid::FooterKind;
    auto sum = [](const char* field, const char* title, int width) {
        return grid::ColumnSpec{QLatin1String(field), QString::fromUtf8(title), width,
                                Align::FieldOwn,      FooterKind::Sum,          QString()};
    };
    DBGridEh1->setColumns({
        {QStringLiteral("invoiceno"), QStringLiteral("运编号"), 88, Align::FieldOwn,
         FooterKind::Text, QStringLiteral("合计")},
        {QStringLiteral("UnExchTag"), QStringLiteral("标志"), 18, Align::Center, FooterKind::None,
         QString()},
        {QStringLiteral("dept"), QStringLiteral("部门"), 66, Align::FieldOwn, FooterKind::None,
         QString()},
        sum("srUSD", "收入美元", 70),
        sum("srRMB", "收入人民币", 70),
        sum("yfUSD", "运费美元", 70),
        sum("yfRMB", "运费人民币", 70),
        sum("bfUSD", "保费美元", 70),
        sum("bfRMB", "保费人民币", 70),
        sum("yjUSD", "佣金美元", 70),
        sum("yjRMB", "佣金人民币", 70),
        sum("cb", "成本", 70),
        {QStringLiteral("value_no"), QStringLiteral("核算单"), 61, Align::FieldOwn,
         FooterKind::None, QString()},
        sum("lirun_True", "利润", 70),
        sum("shouhui", "净收汇", 70),
    });
    DBGridEh1->setFrozenCols(2);
    DBGridEh1->setRowSelect(true);
    DBGridEh1->setDataSource(DataSource1);

    auto exportAction = [this](const char* name, const QString& text, const QKeySequence& key,
                               bool excel) {
        auto* act = new QAction(text, DBGridEh1);
        act->setObjectName(QLatin1String(name));
        act->setShortcut(key);
        act->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(act, &QAction::triggered, this,
                [this, excel] { ui::guarded([this, excel] { ExportStatement(excel); }); });
        DBGridEh1->addContextAction(act);
        addAction(act);  // the shortcut works wherever in the window the focus is
        return act;
    };
    actExportXlsx = exportAction("actExportXlsx", QStringLiteral("导出Excel…"),
                                 QKeySequence(Qt::CTRL | Qt::Key_E), true);
    actExportCsv = exportAction("actExportCsv", QStringLiteral("导出CSV…"),
                                QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E), false);
}

const QString Tfrmmain::kDesignCountText = QStringLiteral("共有200笔未收汇纪录");

void Tfrmmain::buildStatusBar() {
    SBar = named(new QStatusBar(this), "SBar");
    const int widths[3] = {300, 250, 200};
    const QString texts[3] = {QStringLiteral("查看对象："), kDesignCountText,
                              QStringLiteral("月份:")};
    for (int i = 0; i < 3; ++i) {
        auto* panel = new QLabel(texts[i], SBar);
        panel->setObjectName(QStringLiteral("SBarPanel%1").arg(i));
        panel->setFixedWidth(widths[i]);
        SBar->addWidget(panel);
        SBarPanel[i] = panel;
    }
}

void Tfrmmain::FormCreate() {
    // 1-2. Title from the company's short name; it captions every message box from now on.
    db::Query* corp = frmData->qCorp;
    if (corp->Active())
        corp->Close();
    corp->Open();
    const QString simpleName =
        corp->IsEmpty() ? QString() : corp->FieldByName(QStringLiteral("name_simple"))->AsString();
    const QString title = simpleName + QStringLiteral("--出口盈亏表");
    setWindowTitle(title);
    ui::Application::instance().SetTitle(title);

    // 3-4.
    OnScreenFlag = 1;
    GetServerDate(ServerYear, ServerMonth, ServerDay);

    // 5. Months "01".."12", the server's month selected in both boxes.
    for (int n = 1; n <= 12; ++n)
        cbxMonth1->addItem(n < 10 ? QStringLiteral("0%1").arg(n) : QString::number(n));
    cbxMonth1->setCurrentIndex(ServerMonth - 1);
    for (int i = 0; i < cbxMonth1->count(); ++i) cbxmonth2->addItem(cbxMonth1->itemText(i));
    cbxmonth2->setCurrentIndex(cbxMonth1->currentIndex());

    // 6. Years: the text is set, not a list selection, so a year outside the list still shows
    // and Down goes to the first year. (The first item added becomes the selection.)
    for (int y = 2005; y <= 2020; ++y) cbxYear1->addItem(QString::number(y));
    for (int i = 0; i < cbxYear1->count(); ++i) cbxyear2->addItem(cbxYear1->itemText(i));
    for (QComboBox* year : {cbxYear1, cbxyear2}) {
        year->setCurrentIndex(-1);
        year->setEditText(QString::number(ServerYear));
    }

    // 7-8.
    cbxOption->setCurrentIndex(0);
    RunStatistics();
}

void Tfrmmain::closeEvent(QCloseEvent* event) {
    ui::guarded([this] { FormClose(); });
    event->accept();
}

void Tfrmmain::FormClose() {
    OnScreenFlag = 0;
    setAttribute(Qt::WA_DeleteOnClose);
    // Freeing the modules closes all four connections.
    delete std::exchange(frmData, nullptr);
    delete std::exchange(fm_YYCWData, nullptr);
}

bool Tfrmmain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        // A line edit claims Ctrl+E (end of line) for itself; the export comes first here.
        const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
        for (const QAction* act : {actExportXlsx, actExportCsv})
            if (act && act->shortcut() == pressed)
                return true;
    }
    QComboBox* year = nullptr;
    for (QComboBox* box : {cbxYear1, cbxyear2}) {
        if (watched == box || watched == box->lineEdit())
            year = box;
    }
    if (!year)
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // Only typed characters pass the filter; Delete and the cursor keys type nothing,
        // and Tab moves the focus before any window sees it as a character.
        const bool navigation = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
        if (!key->text().isEmpty() && key->key() != Qt::Key_Delete && !navigation) {
            QChar c = key->text().at(0);
            cbxYear1KeyPress(year, c);
            if (c.isNull())
                return true;
        }
    } else if (event->type() == QEvent::InputMethod) {
        // Text committed by an input method is typed text too: only its digits pass.
        auto* im = static_cast<QInputMethodEvent*>(event);
        QString kept;
        for (QChar c : im->commitString()) {
            cbxYear1KeyPress(year, c);
            if (!c.isNull())
                kept += c;
        }
        if (kept != im->commitString()) {
            QInputMethodEvent filtered(im->preeditString(), im->attributes());
            filtered.setCommitString(kept, im->replacementStart(), im->replacementLength());
            QCoreApplication::sendEvent(watched, &filtered);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Tfrmmain::cbxYear1KeyPress(QObject* /*sender*/, QChar& key) {
    const bool digit = key >= QLatin1Char('0') && key <= QLatin1Char('9');
    if (!digit && key != QChar(8))
        key = QChar();
}

void Tfrmmain::btnViewClick() {
    RunStatistics();
}

void Tfrmmain::btnQueryClick() {
    // One owner, so the dialog is destroyed exactly once however it closed.
    auto dialog = std::make_unique<TfrmLoc>();
    ui::Application::instance().adoptWindow(dialog.get());
    frmLoc = dialog.get();
    dialog->exec();
}

void Tfrmmain::btnSetOptionClick() {
    // The dialog frees itself when it closes; the guard only reads what exec returned.
    QPointer<TfmSetOption> dialog = new TfmSetOption();
    ui::Application::instance().adoptWindow(dialog.data());
    fmSetOption = dialog.data();
    dialog->CurYear = MaxYear;
    if (dialog->exec() == 1)
        RunStatistics();
}

void Tfrmmain::btnPrintClick() {
    // The profit field follows the run that produced the rows shown, not a later attempt
    // that stopped before opening anything.
    const qint32 option = m_resultQueryOption >= 0 ? m_resultQueryOption : QueryOption;
    RunPrint(StoredProc1, ViewObjectText, PeriodText, option, ServerYear, ServerMonth, ServerDay);
}

void Tfrmmain::chkRowSelectClick() {
    DBGridEh1->setRowSelect(chkRowSelect->isChecked());
}

void Tfrmmain::StoredProc1AfterOpen(db::DataSet& dataSet) {
    // Money shows as a plain number: no symbol, no grouping, no fixed decimals.
    for (int i = 0; i < dataSet.FieldCount(); ++i) {
        db::Field* field = dataSet.fieldAt(i);
        if (field->DataType() == db::FieldType::Currency)
            field->SetCurrency(false);
    }
}
