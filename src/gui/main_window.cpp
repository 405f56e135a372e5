// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

#include "app/worker_pool.h"
#include "app/batch_run.h"
#include "app/naming.h"
#include "app/native_path.h"
#include "app/photo_plan.h"
#include "app/time_offset.h"
#include "gui/about_box.h"
#include "gui/gui_batch_host.h"
#include "gui/help_viewer.h"
#include "gui/message_boxes.h"
#include "gui/preview_window.h"
#include "gui/progress_dialog.h"
#include "gui/reference_dialog.h"

namespace morrowtide::gui {

namespace {

QString documentsOrHome() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QDir(documents).exists()) return documents;
    return QDir::homePath();
}

// folder + "/" + name, without doubling a trailing "/".
QString subFolder(const QString& folder, const QString& name) {
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

QString defaultPickFolder(QWidget* parent, const QString& title, bool offerNewFolder, const QString& startFolder) {
    QFileDialog::Options options = QFileDialog::ShowDirsOnly;
    if (!offerNewFolder) options |= QFileDialog::ReadOnly;  // no "create folder" in the source picker
    return QFileDialog::getExistingDirectory(parent, title, startFolder, options);
}

QString defaultPickPhoto(QWidget* parent, const QString& title, const QString& startFolder) {
    return QFileDialog::getOpenFileName(parent, title, startFolder, MainWindow::tr("Photos (*.jpg *.JPG)"));
}

std::optional<double> defaultAskTrueTime(QWidget* parent, const QString& path, double recorded) {
    ReferenceTimeDialog dialog(parent, path, recorded);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.trueTime();
}

std::optional<QStringList> runBatchRun(app::BatchHost& host) {
    app::BatchRun run(host);
    run.run();
    if (run.ending() == app::RunEnding::Declined) return std::nullopt;
    return run.fileList();
}

OffsetSpinBox* makeSpinBox(const char* name, int minimum, int maximum, QWidget* parent) {
    auto* box = new OffsetSpinBox(minimum, maximum, parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

bool isEnterKey(const QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    return enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

QCheckBox* makeCheckBox(const char* name, const QString& caption, QWidget* parent) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

// The mask error of the run engine, in the window's language.
QString shownMaskError(const QString& error) {
    return QCoreApplication::translate("morrowtide::app::Naming", error.toUtf8().constData());
}

}  // namespace

OffsetSpinBox::OffsetSpinBox(int minimum, int maximum, QWidget* parent) : QSpinBox(parent) {
    setRange(minimum, maximum);
    setValue(0);
    setSingleStep(1);
    // What fixup cannot make a number of goes back to the value before the typing began.
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setKeyboardTracking(false);
    setAccelerated(true);
}

QValidator::State OffsetSpinBox::validate(QString& text, int& pos) const {
    // Nothing typed is refused: refusing a keystroke turns 99 into 9 and 1.5 into 15 without a word.
    return QSpinBox::validate(text, pos) == QValidator::Acceptable ? QValidator::Acceptable
                                                                    : QValidator::Intermediate;
}

void OffsetSpinBox::fixup(QString& text) const {
    static const QRegularExpression wholeNumber(QStringLiteral("^([+-]?)([0-9]+)$"));
    const QRegularExpressionMatch match = wholeNumber.match(text.trimmed());
    if (!match.hasMatch()) return;
    bool fits = false;
    const qlonglong number = match.captured(0).toLongLong(&fits);
    int value = 0;
    if (fits) {
        value = static_cast<int>(std::clamp<qlonglong>(number, minimum(), maximum()));
    } else {
        value = match.captured(1) == QStringLiteral("-") ? minimum() : maximum();  // more digits than any limit
    }
    text = textFromValue(value);
}

QString OffsetSpinBox::textFromValue(int value) const {
    // Never with group separators, which Qt shows for the lowest int whatever the setting.
    QString text = locale().toString(value);
    text.remove(locale().groupSeparator());
    return text;
}

QString nearestExistingFolder(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) return QDir::homePath();
    QString folder = QDir::cleanPath(QDir(QDir::homePath()).absoluteFilePath(trimmed));
    while (!QFileInfo(folder).isDir()) {
        const QString parent = QFileInfo(folder).path();
        if (parent == folder) return QDir::homePath();
        folder = parent;
    }
    return folder;
}

bool MaskEdit::isRefusedCharacter(const QString& typed) {
    static const QString refused = QStringLiteral("/:<>?\\");
    return typed.size() == 1 && refused.contains(typed[0]);
}

void MaskEdit::keyPressEvent(QKeyEvent* event) {
    // Typed only: pasted text keeps these characters, and the mask preparation drops them.
    if (isRefusedCharacter(event->text())) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void MaskEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // Another window taking over (a message box, the progress dialog, another program) is no leaving of the field.
    if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason) emit focusLost();
}

MainWindow::MainWindow(MainWindowSetup setup)
    : setup_(std::move(setup)),
      boxes_(setup_.messageBoxes),
      help_(std::make_unique<ProgramHelp>()),
      namer_(QLocale::system(), setup_.clock ? setup_.clock : app::Clock(app::currentLocalDateTime)) {
    if (!boxes_) {
        ownBoxes_ = std::make_unique<WidgetMessageBoxes>();
        boxes_ = ownBoxes_.get();
    }
    if (!setup_.runBatch) setup_.runBatch = runBatchRun;
    if (!setup_.pickFolder) setup_.pickFolder = defaultPickFolder;
    if (!setup_.pickPhoto) setup_.pickPhoto = defaultPickPhoto;
    if (!setup_.askTrueTime) setup_.askTrueTime = defaultAskTrueTime;
    settingsPath_ = setup_.settingsPath.isEmpty() ? app::defaultSettingsFilePath() : setup_.settingsPath;

    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Morrowtide V1.1"));
    // A window of fixed size: nothing to maximise, so no maximise button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    auto* central = new QWidget(this);
    pageControl_ = new QTabWidget(central);
    pageControl_->setObjectName(QStringLiteral("pageControl"));
    auto* photos = new QWidget;
    photos->setObjectName(QStringLiteral("tsTimeDifference"));
    auto* options = new QWidget;
    options->setObjectName(QStringLiteral("tsOptions"));
    buildPhotosTab(photos);
    buildOptionsTab(options);
    pageControl_->addTab(photos, tr("Photos"));
    pageControl_->addTab(options, tr("Options"));

    btnGo_ = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), tr("Go"), central);
    btnGo_->setObjectName(QStringLiteral("BitBtn1"));
    btnGo_->setDefault(true);
    btnGo_->setAutoDefault(true);
    connect(btnGo_, &QPushButton::clicked, this, &MainWindow::startRun);
    // Enter on the focused Go button is the window's Enter too, with its guard against a second run.
    btnGo_->installEventFilter(this);
    btnClose_ = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), tr("&Close"), central);
    btnClose_->setObjectName(QStringLiteral("BitBtn2"));
    btnClose_->setAutoDefault(true);
    connect(btnClose_, &QPushButton::clicked, this, &QWidget::close);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnGo_);
    buttons->addWidget(btnClose_);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(pageControl_);
    layout->addLayout(buttons);
    setCentralWidget(central);
    buildMenu();

    progress_ = new ProgressDialog(this);
    // Made now though shown only on demand: it holds the cameras' offsets and the zones the run takes.
    preview_ =
        new PreviewWindow(this, namer_.locale(), setup_.clock ? setup_.clock : app::Clock(app::currentLocalDateTime));
    connect(this, &MainWindow::optionsEdited, preview_, &PreviewWindow::setOptions);
    connect(preview_, &PreviewWindow::setFromPhotoRequested, this,
            [this](const QString& path) { setOffsetFromPhoto(path, preview_); });
    // A camera's new offset is a change for Enter's guard; the preview has planned with it already.
    connect(preview_, &PreviewWindow::camerasChanged, this, [this] {
        enterStartsRun_ = true;
        showCameraChoices();
    });

    // Start values: the documents folder, its "Output" sub-folder, a zero offset, then the saved options.
    showLog_->setEnabled(false);
    const QString documents = setup_.documentsFolder.isEmpty() ? documentsOrHome() : setup_.documentsFolder;
    edtDir_->setText(documents);
    edtOutputDir_->setText(subFolder(documents, QStringLiteral("Output")));
    help_->system.setHelpFile(locateHelpFile(QCoreApplication::applicationDirPath()));
    help_->system.setApplicationWindow(this);
    help_->system.setFailureReporter([this](const QString& message) { boxes_->plain(this, message); });
    loadOptions();

    pageControl_->setCurrentIndex(0);
    setFixedSize(sizeHint().expandedTo(QSize(500, 0)));

    // Any change the user makes lets Enter start a run again.
    for (QLineEdit* field : {edtDir_, edtOutputDir_, static_cast<QLineEdit*>(edtOutputFileMask_)}) {
        connect(field, &QLineEdit::textChanged, this, &MainWindow::userChangedSomething);
    }
    for (QSpinBox* box : std::initializer_list<QSpinBox*>{spinDays_, spinHours_, spinMinutes_, spinSeconds_, seJobs_}) {
        connect(box, &QSpinBox::valueChanged, this, &MainWindow::userChangedSomething);
    }
    for (QCheckBox* box : {cbRec_, cbAutoRename_, cbIncPrevFName_, cbIncDateTime_, cbOverwriteDateTime_,
                           cbPreserveModDate_, cbAllTypes_}) {
        connect(box, &QCheckBox::toggled, this, &MainWindow::userChangedSomething);
    }
    // The preview follows every edit; a burst of them (typing a folder) makes one update.
    previewTimer_ = new QTimer(this);
    previewTimer_->setSingleShot(true);
    previewTimer_->setInterval(150);
    connect(previewTimer_, &QTimer::timeout, this, [this] { emit optionsEdited(previewOptions()); });
}

void MainWindow::userChangedSomething() {
    enterStartsRun_ = true;
    previewTimer_->start();
}

app::RunOptions MainWindow::previewOptions() const {
    app::RunOptions options = currentOptions();
    const QString typed = edtOutputFileMask_->text();
    if (typed != options.fileMask && namer_.checkFileMask(typed).accepted) options.fileMask = typed;
    return options;
}

MainWindow::~MainWindow() = default;

void MainWindow::buildPhotosTab(QWidget* page) {
    auto* grid = new QGridLayout(page);
    auto addFolderRow = [&](int row, const QString& caption, const char* edit, const char* button, QLineEdit*& field,
                            QPushButton*& picker) {
        auto* label = new QLabel(caption, page);
        field = new QLineEdit(page);
        field->setObjectName(QString::fromLatin1(edit));
        field->setMinimumWidth(320);
        label->setBuddy(field);
        picker = new QPushButton(QStringLiteral(".."), page);
        picker->setObjectName(QString::fromLatin1(button));
        picker->setAutoDefault(true);
        picker->setFixedWidth(picker->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row, 1, 1, 7);
        grid->addWidget(picker, row, 8);
    };
    addFolderRow(0, tr("Source folder:"), "edtDir", "btnDir", edtDir_, btnDir_);
    addFolderRow(1, tr("Destination folder:"), "edtOutputDir", "btnOutput", edtOutputDir_, btnOutput_);
    connect(btnDir_, &QPushButton::clicked, this, &MainWindow::pickSourceFolder);
    connect(btnOutput_, &QPushButton::clicked, this, &MainWindow::pickDestinationFolder);

    auto* heading = new QLabel(tr("Correct time by:"), page);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    grid->addItem(new QSpacerItem(0, 8), 2, 0);
    grid->addWidget(heading, 3, 0, 1, 9);

    constexpr int kNoLimitLow = std::numeric_limits<int>::min();
    constexpr int kNoLimitHigh = std::numeric_limits<int>::max();
    spinDays_ = makeSpinBox("SpinEdit4", kNoLimitLow, kNoLimitHigh, page);
    spinHours_ = makeSpinBox("SpinEdit1", -23, 23, page);
    spinMinutes_ = makeSpinBox("SpinEdit2", -59, 59, page);
    spinSeconds_ = makeSpinBox("SpinEdit3", -59, 59, page);
    spinDays_->setMinimumWidth(100);
    const std::pair<QString, QSpinBox*> offsets[] = {{tr("Days:"), spinDays_},
                                                     {tr("Hours:"), spinHours_},
                                                     {tr("Minutes:"), spinMinutes_},
                                                     {tr("Seconds:"), spinSeconds_}};
    auto* offsetRow = new QHBoxLayout;
    for (const auto& [caption, box] : offsets) {
        auto* label = new QLabel(caption, page);
        label->setBuddy(box);
        offsetRow->addWidget(label);
        offsetRow->addWidget(box);
        offsetRow->addSpacing(10);
    }
    btnCameras_ = new QPushButton(tr("Cameras\u2026"), page);
    btnCameras_->setObjectName(QStringLiteral("btnCameras"));
    btnCameras_->setAutoDefault(true);
    btnCameras_->setToolTip(tr("An offset per camera, time zones, and the timeline of the photos"));
    connect(btnCameras_, &QPushButton::clicked, this, &MainWindow::showCameras);
    btnSetFromPhoto_ = new QPushButton(tr("Set from a photo\u2026"), page);
    btnSetFromPhoto_->setObjectName(QStringLiteral("btnSetFromPhoto"));
    btnSetFromPhoto_->setAutoDefault(true);
    btnSetFromPhoto_->setToolTip(tr("Take the offset from one photo whose true date and time you know"));
    connect(btnSetFromPhoto_, &QPushButton::clicked, this, &MainWindow::setOffsetFromPickedPhoto);
    btnPreview_ = new QPushButton(tr("Preview\u2026"), page);
    btnPreview_->setObjectName(QStringLiteral("btnPreview"));
    btnPreview_->setAutoDefault(true);
    btnPreview_->setToolTip(tr("See what a run would do to every photo, before anything is written (F5)"));
    connect(btnPreview_, &QPushButton::clicked, this, &MainWindow::showPreview);
    offsetRow->addStretch();
    offsetRow->addWidget(btnSetFromPhoto_);
    offsetRow->addWidget(btnPreview_);
    offsetRow->addWidget(btnCameras_);
    grid->addLayout(offsetRow, 4, 0, 1, 9);
    // Choices of the preview's cameras' page, which may have come from the settings file, are in force without the
    // preview being open: they are named here, so that no run takes them unseen.
    lblCameraChoices_ = new QLabel(page);
    lblCameraChoices_->setObjectName(QStringLiteral("lblCameraChoices"));
    lblCameraChoices_->setWordWrap(true);
    lblCameraChoices_->setTextFormat(Qt::PlainText);
    lblCameraChoices_->hide();
    grid->addWidget(lblCameraChoices_, 5, 0, 1, 9);
    grid->setRowStretch(6, 1);
}

void MainWindow::showCameraChoices() {
    const app::RunOptions options = currentOptions();
    QStringList parts;
    if (const auto cameras = static_cast<int>(options.cameraOffsets.size()); cameras > 0) {
        parts << tr("cameras with an offset of their own: %1").arg(cameras);
    }
    if (!options.fromZone.isEmpty()) parts << tr("dates converted from %1 to %2").arg(options.fromZone, options.toZone);
    lblCameraChoices_->setText(parts.isEmpty() ? QString()
                                               : tr("Also in force (Cameras\u2026): %1").arg(parts.join(u"; ")));
    lblCameraChoices_->setVisible(!parts.isEmpty());
}

void MainWindow::buildOptionsTab(QWidget* page) {
    cbRec_ = makeCheckBox("cbRec", tr("Recurse folders"), page);
    cbAutoRename_ = makeCheckBox("cbAutoRename", tr("Auto rename if already exists"), page);
    cbIncPrevFName_ = makeCheckBox("cbIncPrevFName", tr("Include current filename"), page);
    cbIncDateTime_ = makeCheckBox("cbIncDateTime", tr("Include datetime in filename"), page);
    cbOverwriteDateTime_ = makeCheckBox("cbOverwriteDateTime", tr("Overwrite datetime in filename"), page);
    cbPreserveModDate_ = makeCheckBox("cbPreserveModDate", tr("Preserve original modifcation date"), page);
    cbAllTypes_ = makeCheckBox("cbAllTypes", tr("Also correct other photo and video files"), page);
    cbAllTypes_->setToolTip(
        tr("Raw files, TIFF, HEIC, AVIF, PNG, WebP, movies (MP4, MOV, M4V, 3GP) and XMP sidecars besides the JPEGs; "
           "files sharing a base name keep sharing it"));

    seJobs_ = new QSpinBox(page);
    seJobs_->setObjectName(QStringLiteral("seJobs"));
    seJobs_->setRange(0, app::kMaxJobs);
    seJobs_->setSpecialValueText(tr("Automatic"));
    seJobs_->setToolTip(tr("How many photos are read and written at once; Automatic takes twice the number of "
                           "processor cores, at most 8"));
    auto* jobsLabel = new QLabel(tr("Photos at once:"), page);
    jobsLabel->setBuddy(seJobs_);
    auto* jobsRow = new QHBoxLayout;
    jobsRow->addWidget(jobsLabel);
    jobsRow->addWidget(seJobs_);
    jobsRow->addStretch();

    edtOutputFileMask_ = new MaskEdit(page);
    edtOutputFileMask_->setObjectName(QStringLiteral("edtOutputFileMask"));
    connect(edtOutputFileMask_, &MaskEdit::focusLost, this, &MainWindow::maskFocusLost);
    auto* maskLabel = new QLabel(tr("Output file mask:"), page);
    maskLabel->setBuddy(edtOutputFileMask_);
    lblDateFormatExample_ = new QLabel(page);
    lblDateFormatExample_->setObjectName(QStringLiteral("lblDateFormatExample"));
    lblDateFormatExample_->setTextFormat(Qt::PlainText);

    auto* grid = new QGridLayout(page);
    grid->addWidget(cbRec_, 0, 0);
    grid->addWidget(cbAutoRename_, 1, 0);
    grid->addWidget(cbIncPrevFName_, 2, 0);
    grid->addWidget(cbIncDateTime_, 0, 1);
    grid->addWidget(cbOverwriteDateTime_, 1, 1);
    grid->addWidget(cbPreserveModDate_, 2, 1);
    grid->addWidget(cbAllTypes_, 3, 0, 1, 2);
    grid->addLayout(jobsRow, 4, 0, 1, 2);
    grid->addItem(new QSpacerItem(0, 8), 5, 0);
    grid->addWidget(maskLabel, 6, 0, 1, 2);
    grid->addWidget(edtOutputFileMask_, 7, 0, 1, 2);
    grid->addWidget(lblDateFormatExample_, 8, 0, 1, 2);
    grid->setRowStretch(9, 1);
}

void MainWindow::buildMenu() {
    QMenu* file = menuBar()->addMenu(tr("File"));
    file->setObjectName(QStringLiteral("File1"));
    QAction* save = file->addAction(tr("&Save Options"), this, &MainWindow::saveOptions);
    save->setObjectName(QStringLiteral("SaveOptions1"));
    showLog_ = file->addAction(tr("Show &Log"), this, &MainWindow::showLog);
    showLog_->setObjectName(QStringLiteral("ShowLog1"));
    file->addSeparator()->setObjectName(QStringLiteral("N1"));
    QAction* exit = file->addAction(tr("E&xit"), this, &QWidget::close);
    exit->setObjectName(QStringLiteral("exit1"));

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("Help2"));
    QAction* contents = help->addAction(tr("Contents"), this, &MainWindow::showHelpContents);
    contents->setObjectName(QStringLiteral("Help1"));
    contents->setShortcut(QKeySequence::HelpContents);  // F1
    // The preview has its button on the Photos tab; its keys work from anywhere in the window.
    auto* preview = new QAction(tr("Preview"), this);
    preview->setObjectName(QStringLiteral("actPreview"));
    preview->setShortcuts({QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_P)});
    connect(preview, &QAction::triggered, this, &MainWindow::showPreview);
    addAction(preview);
    QAction* about = help->addAction(tr("&About"), this, &MainWindow::showAbout);
    about->setObjectName(QStringLiteral("About2"));
}

void MainWindow::loadOptions() {
    const app::SavedOptions options = app::loadOptions(settingsPath_);
    edtOutputFileMask_->setText(options.fileMask);
    cbRec_->setChecked(options.recurseFolders);
    cbAutoRename_->setChecked(options.autoRename);
    cbIncPrevFName_->setChecked(options.includePreviousFName);
    cbIncDateTime_->setChecked(options.includeDateTime);
    cbOverwriteDateTime_->setChecked(options.overwriteDateTime);
    cbPreserveModDate_->setChecked(options.preserveModDate);
    cbAllTypes_->setChecked(options.allTypes);
    seJobs_->setValue(options.jobs);
    preview_->setCameraChoices(options.cameras);
    showCameraChoices();
    // Accepted now; a mask that fails is asked about when the window is on the screen, over it.
    const app::FileMaskResult result = namer_.applyFileMask(edtOutputFileMask_->text());
    maskFailedAtStart_ = !result.accepted;
    if (result.accepted) lblDateFormatExample_->setText(result.example);
}

app::SavedOptions MainWindow::savedOptions() const {
    app::SavedOptions options;
    options.fileMask = edtOutputFileMask_->text();
    options.recurseFolders = cbRec_->isChecked();
    options.autoRename = cbAutoRename_->isChecked();
    options.includePreviousFName = cbIncPrevFName_->isChecked();
    options.includeDateTime = cbIncDateTime_->isChecked();
    options.overwriteDateTime = cbOverwriteDateTime_->isChecked();
    options.preserveModDate = cbPreserveModDate_->isChecked();
    options.allTypes = cbAllTypes_->isChecked();
    options.jobs = seJobs_->value();
    options.cameras = preview_->cameraChoices();
    return options;
}

app::RunOptions MainWindow::currentOptions() const {
    return preview_->withCameras(boxOptions());
}

void MainWindow::showCameras() {
    preview_->showPage(PreviewWindow::Page::Cameras);
    showPreview();
}

app::RunOptions MainWindow::boxOptions() const {
    app::RunOptions options;
    options.sourceFolder = edtDir_->text();
    options.destinationFolder = edtOutputDir_->text();
    options.offset = {spinDays_->value(), spinHours_->value(), spinMinutes_->value(), spinSeconds_->value()};
    // The text of the accepted mask; the run prepares it the same way.
    options.fileMask = namer_.formatMaskText();
    options.recurseFolders = cbRec_->isChecked();
    options.autoRename = cbAutoRename_->isChecked();
    options.includeFileName = cbIncPrevFName_->isChecked();
    options.includeDateTime = cbIncDateTime_->isChecked();
    options.overwriteDateTime = cbOverwriteDateTime_->isChecked();
    options.preserveModDate = cbPreserveModDate_->isChecked();
    options.allTypes = cbAllTypes_->isChecked();
    options.jobs = seJobs_->value();
    return options;
}

app::NamingOptions MainWindow::namingOptions() const {
    app::NamingOptions naming;
    naming.includeDateTime = cbIncDateTime_->isChecked();
    naming.includeCurrentFilename = cbIncPrevFName_->isChecked();
    return naming;
}

void MainWindow::maskFocusLost() {
    // A mask whose copies would be hidden is not taken, like one that cannot be formatted, and the box says why.
    if (const QString hidden = namer_.hiddenNameReason(edtOutputFileMask_->text(), namingOptions());
        !hidden.isEmpty()) {
        askAboutInvalidMask(shownMaskError(app::kInvalidFileMaskMessage) + QStringLiteral("\n\n") +
                            shownMaskError(hidden));
        return;
    }
    const app::FileMaskResult result = namer_.applyFileMask(edtOutputFileMask_->text());
    if (result.accepted) {
        lblDateFormatExample_->setText(result.example);
        return;
    }
    askAboutInvalidMask(shownMaskError(result.error));
}

void MainWindow::askAboutInvalidMask(const QString& text) {
    // OK: back to the field for correcting it; Cancel: the mask accepted last. Either way that mask stays in force.
    if (boxes_->askOkCancelError(this, text)) {
        pageControl_->setCurrentWidget(edtOutputFileMask_->parentWidget());
        edtOutputFileMask_->setFocus(Qt::OtherFocusReason);
    } else {
        edtOutputFileMask_->setText(namer_.formatMaskText());
    }
}

void MainWindow::reportMaskFromSettings() {
    if (!maskFailedAtStart_) return;
    maskFailedAtStart_ = false;
    askAboutInvalidMask(shownMaskError(app::kInvalidFileMaskMessage) + QStringLiteral("\n\n") +
                        tr("The mask \"%1\" was read from the settings file %2.")
                            .arg(edtOutputFileMask_->text(), QDir::toNativeSeparators(settingsPath_)));
}

void MainWindow::startRun() {
    if (running_) return;
    // No run, the reason, and the way to a mask that works.
    const auto refuse = [this](const QString& text) {
        boxes_->show(
            this, {MessageKind::Error, QCoreApplication::translate("MessageBoxes", "Error"), text, MessageButtons::Ok});
        pageControl_->setCurrentWidget(edtOutputFileMask_->parentWidget());
        edtOutputFileMask_->setFocus(Qt::OtherFocusReason);
    };
    if (namer_.formatMask().isEmpty()) {
        // Every photo would fail with "Invalid file mask".
        refuse(tr("No run was started: no valid file mask has been accepted yet, so the photos could "
                  "not be named.\n\nEnter a file mask on the Options tab, then press Go again."));
        return;
    }
    // The mask was taken with the naming boxes as they were then; ticked since, they may make it hide the copies.
    if (const QString hidden = namer_.hiddenNameReason(namer_.formatMaskText(), namingOptions()); !hidden.isEmpty()) {
        refuse(tr("No run was started: the file mask \"%1\" would hide the copies.\n\n%2\n\nChange the file mask on "
                  "the Options tab, then press Go again.")
                   .arg(namer_.formatMaskText(), shownMaskError(hidden)));
        return;
    }
    running_ = true;
    btnGo_->setEnabled(false);
    try {
        GuiBatchHost host(*this, *progress_, *boxes_);
        if (auto list = setup_.runBatch(host)) fileList_ = std::move(*list);
    } catch (const std::exception& error) {
        // Nothing should get here: the run reports each file's error itself. Say so rather than vanish.
        progress_->closeAfterRun();
        boxes_->error(this, QString::fromUtf8(error.what()));
    }
    running_ = false;
    // The run may have written beside the photos, or over them.
    preview_->refresh();
    // A stray Enter after the summary must not start the same run again.
    enterStartsRun_ = false;
    btnGo_->setEnabled(true);
    if (closeAfterRun_) close();
}

void MainWindow::enableShowLog() {
    showLog_->setEnabled(true);
}

void MainWindow::saveOptions() {
    try {
        app::saveOptions(settingsPath_, savedOptions());
    } catch (const app::SettingsWriteError& error) {
        boxes_->error(this, QString::fromUtf8(error.what()));
    }
}

void MainWindow::showLog() {
    progress_->showLog();
}

void MainWindow::showHelpContents() {
    help_->system.showHelp(QString());
}

void MainWindow::showAbout() {
    showAboutBox(this);
}

QString MainWindow::pickFolder(const QString& title, bool offerNewFolder, const QString& fieldText) {
    return setup_.pickFolder(this, title, offerNewFolder, nearestExistingFolder(fieldText));
}

void MainWindow::pickSourceFolder() {
    const QString folder = pickFolder(tr("Location of your images"), false, edtDir_->text());
    if (folder.isEmpty()) return;
    edtDir_->setText(folder);
    edtOutputDir_->setText(subFolder(edtDir_->text(), QStringLiteral("output")));
}

void MainWindow::pickDestinationFolder() {
    const QString folder = pickFolder(tr("Location of modified images"), true, edtOutputDir_->text());
    if (folder.isEmpty()) return;
    edtOutputDir_->setText(folder);
}

void MainWindow::showPreview() {
    preview_->setOptions(previewOptions());
    preview_->show();
    preview_->raise();
    preview_->activateWindow();
}

void MainWindow::setOffsetFromPickedPhoto() {
    const QString path =
        setup_.pickPhoto(this, tr("A photo whose true time you know"), nearestExistingFolder(edtDir_->text()));
    if (!path.isEmpty()) setOffsetFromPhoto(path);
}

void MainWindow::setOffsetFromPhoto(const QString& path, QWidget* over) {
    QWidget* parent = over ? over : this;
    const double recorded = app::readPhotoHeader(app::encodePath(path), QString()).recordedCapture;
    if (recorded == 0.0) {
        boxes_->show(parent, {MessageKind::Warning, tr("Warning"),
                              tr("The photo %1 has no readable date, so no offset can be taken from it.\n\n"
                                 "The offset boxes are left as they are.")
                                  .arg(QDir::toNativeSeparators(path)),
                              MessageButtons::Ok});
        return;
    }
    const std::optional<double> truth = setup_.askTrueTime(parent, path, recorded);
    if (!truth) return;
    const std::optional<app::TimeOffset> offset = app::offsetBetween(recorded, *truth);
    if (!offset) return;  // the dialog lets no such time through
    spinDays_->setValue(offset->days);
    spinHours_->setValue(offset->hours);
    spinMinutes_->setValue(offset->minutes);
    spinSeconds_->setValue(offset->seconds);
}

void MainWindow::enterPressed() {
    if (btnGo_->isEnabled() && enterStartsRun_) btnGo_->click();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == btnGo_ && event->type() == QEvent::KeyPress && isEnterKey(static_cast<QKeyEvent*>(event))) {
        enterPressed();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    // Go is the window's default button: Enter in any field that does not use it itself starts a run.
    if (isEnterKey(event)) {
        enterPressed();
        event->accept();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (running_) {
        // Let the file in hand finish, so no output is left half written; the window closes when the run has ended.
        closeAfterRun_ = true;
        progress_->stopButton()->click();
        event->ignore();
        return;
    }
    // Help and preview windows are windows of their own; they go with the main window, which ends the program.
    help_->service.closeAll();
    preview_->close();
    QMainWindow::closeEvent(event);
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (centred_) return;
    centred_ = true;
    if (const QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    if (maskFailedAtStart_) QTimer::singleShot(0, this, &MainWindow::reportMaskFromSettings);
}

}  // namespace morrowtide::gui
