#include "ui/verification_window.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPageSize>
#include <QPdfWriter>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTableWidget>
#include <QTextDocument>
#include <QVBoxLayout>
#include <fstream>
#include <sstream>

#include "device/scpi_controller.h"
#include "device/verification_report.h"
#include "ui/verification_plot.h"

namespace ui {

namespace {

QDoubleSpinBox* Spin(double min, double max, double value, int decimals) {
    auto* s = new QDoubleSpinBox;
    s->setRange(min, max);
    s->setDecimals(decimals);
    s->setValue(value);
    return s;
}

QString Num(double v, int decimals) { return QString::number(v, 'f', decimals); }

const char* const kPointColumns[] = {"Cycle",     "Direction", "Set point (PSI)", "Reference (PSI)",
                                     "Mean (PSI)", "Std (PSI)", "Count",           "Error (PSI)",
                                     "Error (% FS)", "Settle (s)", "Settled"};

QStringList PointCells(const device::VerificationPoint& p) {
    return {QString::number(p.cycle),
            p.up ? "up" : "down",
            Num(p.setpointPsi, 4),
            p.Measured() ? Num(p.referencePsi, 6) : "",
            p.Measured() ? Num(p.meanPsi, 6) : "",
            p.stdPsi ? Num(*p.stdPsi, 6) : "",
            QString::number(p.count),
            p.Measured() ? Num(p.errorPsi, 6) : "",
            p.Measured() ? Num(p.errorPctFs, 5) : "",
            Num(p.settleSeconds, 2),
            p.settled ? "yes" : "no"};
}

}  // namespace

VerificationWindow::VerificationWindow(Host host, QWidget* parent)
    : QWidget(parent, Qt::Window), m_host(std::move(host)) {
    setWindowTitle("Verification Run");
    auto* top = new QHBoxLayout(this);

    auto* left = new QVBoxLayout;
    auto* planBox = new QGroupBox("Plan");
    auto* form = new QFormLayout(planBox);
    m_min = Spin(-1000, 1000, 0, 4);
    m_max = Spin(-1000, 1000, 15, 4);
    auto* range = new QHBoxLayout;
    range->addWidget(m_min);
    range->addWidget(new QLabel("to"));
    range->addWidget(m_max);
    form->addRow("Range (PSI)", range);
    m_pointsEdit = new QLineEdit("6");
    m_pointsEdit->setToolTip("A count spread evenly over the range, or set points: 0, 7.5, 15");
    form->addRow("Points", m_pointsEdit);
    m_cycles = new QSpinBox;
    m_cycles->setRange(1, 100);
    form->addRow("Cycles", m_cycles);
    m_directions = new QComboBox;
    m_directions->addItems({"up", "up-down"});
    m_directions->setCurrentIndex(1);
    form->addRow("Directions", m_directions);
    m_window = Spin(0.01, 3600, 2, 2);
    m_maxStd = Spin(0, 100, 0.002, 5);
    m_maxSlope = Spin(0, 100, 0.002, 5);
    m_timeout = Spin(0.1, 36000, 60, 1);
    m_dwell = Spin(0.01, 3600, 5, 2);
    form->addRow("Settle window (s)", m_window);
    form->addRow("Settle max std (PSI)", m_maxStd);
    form->addRow("Settle max slope (PSI/s)", m_maxSlope);
    form->addRow("Settle timeout (s)", m_timeout);
    form->addRow("Dwell (s)", m_dwell);
    for (const char* name : device::kVerificationFigureNames) {
        auto* e = new QLineEdit;
        e->setPlaceholderText("none");
        m_tolerances.push_back(e);
        form->addRow(QString("Tolerance %1 (% FS)").arg(name), e);
    }
    auto* files = new QHBoxLayout;
    auto* load = new QPushButton("Load…");
    auto* save = new QPushButton("Save…");
    files->addWidget(load);
    files->addWidget(save);
    form->addRow(files);
    left->addWidget(planBox);

    auto* refBox = new QGroupBox("Reference");
    auto* refForm = new QFormLayout(refBox);
    m_reference = new QLineEdit("manual");
    m_reference->setToolTip("manual, tcp://HOST:PORT or serial:PATH");
    refForm->addRow("Reference", m_reference);
    left->addWidget(refBox);
    left->addStretch();
    top->addLayout(left);

    auto* right = new QVBoxLayout;
    auto* run = new QHBoxLayout;
    m_start = new QPushButton("Start");
    m_progress = new QProgressBar;
    m_state = new QLabel;
    run->addWidget(m_start);
    run->addWidget(m_progress, 1);
    right->addLayout(run);
    right->addWidget(m_state);
    auto* manual = new QHBoxLayout;
    m_prompt = new QLabel;
    m_prompt->setWordWrap(true);
    m_manualValue = new QLineEdit;
    m_manualValue->setPlaceholderText("reference (PSI)");
    m_take = new QPushButton("Take");
    m_take->setEnabled(false);
    manual->addWidget(m_prompt, 1);
    manual->addWidget(m_manualValue);
    manual->addWidget(m_take);
    right->addLayout(manual);
    m_points = new QTableWidget(0, std::size(kPointColumns));
    QStringList headers;
    for (const char* c : kPointColumns) headers << c;
    m_points->setHorizontalHeaderLabels(headers);
    m_points->verticalHeader()->hide();
    m_points->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_points->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    right->addWidget(m_points, 2);
    auto* lower = new QHBoxLayout;
    m_plot = new VerificationPlot;
    lower->addWidget(m_plot, 1);
    auto* figs = new QVBoxLayout;
    m_figures = new QTableWidget(device::kVerificationFigureNames.size(), 5);
    m_figures->setHorizontalHeaderLabels({"Figure", "% FS", "PSI", "Tolerance", "Result"});
    m_figures->verticalHeader()->hide();
    m_figures->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_figures->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    for (size_t i = 0; i < device::kVerificationFigureNames.size(); ++i)
        m_figures->setItem(int(i), 0, new QTableWidgetItem(device::kVerificationFigureNames[i]));
    figs->addWidget(m_figures);
    m_verdict = new QLabel;
    QFont f = m_verdict->font();
    f.setBold(true);
    m_verdict->setFont(f);
    figs->addWidget(m_verdict);
    auto* out = new QHBoxLayout;
    m_saveReport = new QPushButton("Save Report…");
    m_copy = new QPushButton("Copy");
    m_saveReport->setEnabled(false);
    out->addWidget(m_saveReport);
    out->addWidget(m_copy);
    figs->addLayout(out);
    lower->addLayout(figs, 1);
    right->addLayout(lower, 2);
    top->addLayout(right, 1);

    connect(m_start, &QPushButton::clicked, this, &VerificationWindow::OnStartStop);
    connect(m_take, &QPushButton::clicked, this, &VerificationWindow::OnTake);
    connect(m_manualValue, &QLineEdit::returnPressed, this, &VerificationWindow::OnTake);
    connect(load, &QPushButton::clicked, this, &VerificationWindow::OnLoad);
    connect(save, &QPushButton::clicked, this, &VerificationWindow::OnSave);
    connect(m_saveReport, &QPushButton::clicked, this, &VerificationWindow::OnSaveReport);
    connect(m_copy, &QPushButton::clicked, this, &VerificationWindow::OnCopy);
    resize(1240, 760);
}

VerificationWindow::~VerificationWindow() {
    m_feed.reset();
    m_worker.reset();  // joins; events it posted are dropped with this object
}

bool VerificationWindow::PlanOf(device::VerificationPlan* plan, std::string* error) const {
    device::VerificationPlan p;
    p.minPsi = m_min->value();
    p.maxPsi = m_max->value();
    const QString pts = m_pointsEdit->text().trimmed();
    bool ok = false;
    const int count = pts.toInt(&ok);
    if (ok && !pts.contains('.') && !pts.contains(',')) {
        if (count < 2) {
            *error = "\"points\" must count at least 2";
            return false;
        }
        p.pointCount = count;
        for (int i = 0; i < count; ++i) p.points.push_back(p.minPsi + (p.maxPsi - p.minPsi) * i / (count - 1));
    } else {
        for (const QString& s : pts.split(',', Qt::SkipEmptyParts)) {
            const double v = s.trimmed().toDouble(&ok);
            if (!ok) {
                *error = "\"points\": \"" + s.trimmed().toStdString() + "\" is no number";
                return false;
            }
            p.points.push_back(v);
        }
    }
    p.cycles = m_cycles->value();
    p.directions = m_directions->currentIndex() == 1 ? device::Directions::kUpDown : device::Directions::kUp;
    p.settle = {m_window->value(), m_maxStd->value(), m_maxSlope->value(), m_timeout->value()};
    p.dwellSeconds = m_dwell->value();
    for (size_t i = 0; i < m_tolerances.size(); ++i) {
        const QString t = m_tolerances[i]->text().trimmed();
        if (t.isEmpty()) continue;
        const double v = t.toDouble(&ok);
        if (!ok || v <= 0) {
            *error = std::string("\"tolerances.") + device::kVerificationFigureNames[i] +
                     "\" must be a positive number";
            return false;
        }
        p.tolerances[device::kVerificationFigureNames[i]] = v;
    }
    p.controller = m_plan.controller;
    if (!device::ValidateVerificationPlan(p, error)) return false;
    *plan = p;
    return true;
}

void VerificationWindow::SetPlan(const device::VerificationPlan& plan) {
    m_plan = plan;
    m_min->setValue(plan.minPsi);
    m_max->setValue(plan.maxPsi);
    if (plan.pointCount) {
        m_pointsEdit->setText(QString::number(*plan.pointCount));
    } else {
        QStringList l;
        for (double v : plan.points) l << QString::number(v, 'g', 10);
        m_pointsEdit->setText(l.join(", "));
    }
    m_cycles->setValue(plan.cycles);
    m_directions->setCurrentIndex(plan.directions == device::Directions::kUpDown ? 1 : 0);
    m_window->setValue(plan.settle.windowSeconds);
    m_maxStd->setValue(plan.settle.maxStdPsi);
    m_maxSlope->setValue(plan.settle.maxSlopePsiPerSecond);
    m_timeout->setValue(plan.settle.timeoutSeconds);
    m_dwell->setValue(plan.dwellSeconds);
    for (size_t i = 0; i < m_tolerances.size(); ++i) {
        auto it = plan.tolerances.find(device::kVerificationFigureNames[i]);
        m_tolerances[i]->setText(it == plan.tolerances.end() ? "" : QString::number(it->second, 'g', 10));
    }
}

bool VerificationWindow::Start(std::string* error) {
    if (m_worker) return false;
    device::MeasurementSession* session = m_host.session ? m_host.session() : nullptr;
    if (!session) {
        *error = "no port is open";
        return false;
    }
    device::VerificationPlan plan;
    if (!PlanOf(&plan, error)) return false;
    const std::string ref = m_reference->text().trimmed().toStdString();
    if (ref == "manual" || ref.empty()) {
        m_ref = std::make_unique<device::ManualReference>();
    } else {
        auto controller = device::ConnectController(ref, plan.controller, error);
        if (!controller) return false;
        m_ref = std::move(controller);
    }
    m_plan = plan;
    m_result.reset();
    m_shown.clear();
    m_points->setRowCount(0);
    ShowFigures({});
    m_verdict->clear();
    m_progress->setRange(0, int(device::PlannedPoints(plan).size()));
    m_progress->setValue(0);
    UpdatePlot();
    if (!session->Running() && m_host.startRun) m_host.startRun();
    m_worker = std::make_unique<device::VerificationWorker>(plan, *m_ref, this);
    m_feed = std::make_unique<device::VerificationFeed>(*session, *m_worker);
    m_worker->Start();
    m_start->setText("Stop");
    m_saveReport->setEnabled(false);
    return true;
}

void VerificationWindow::Stop() {
    if (m_worker) m_worker->Stop("stopped");
}

void VerificationWindow::OnStartStop() {
    if (m_worker) {
        Stop();
        return;
    }
    std::string error;
    if (!Start(&error)) m_state->setText(QString::fromStdString(error));
}

void VerificationWindow::OnTake() {
    bool ok = false;
    const double v = m_manualValue->text().trimmed().toDouble(&ok);
    if (!ok || !m_worker) return;
    m_worker->AnswerManual(v);
    m_manualValue->clear();
    m_take->setEnabled(false);
    m_prompt->clear();
}

// The worker's events arrive on its thread and are shown on this window's.
void VerificationWindow::OnProgress(const device::VerificationProgress& progress) {
    QMetaObject::invokeMethod(this, [this, progress] { ShowProgress(progress); }, Qt::QueuedConnection);
}
void VerificationWindow::OnManualPrompt(const device::ManualPrompt& prompt) {
    QMetaObject::invokeMethod(
        this,
        [this, prompt] {
            m_prompt->setText(QString::fromStdString(prompt.text));
            m_take->setEnabled(true);
            m_manualValue->setFocus();
        },
        Qt::QueuedConnection);
}
void VerificationWindow::OnPoint(const device::VerificationPoint& point) {
    QMetaObject::invokeMethod(this, [this, point] { AddPoint(point); }, Qt::QueuedConnection);
}
void VerificationWindow::OnFinished(const device::VerificationResult& result) {
    QMetaObject::invokeMethod(this, [this, result] { ShowResult(result); }, Qt::QueuedConnection);
}

void VerificationWindow::ShowProgress(const device::VerificationProgress& p) {
    m_progress->setValue(p.pointIndex);
    m_state->setText(QString("Point %1 of %2: %3 PSI (%4, cycle %5), %6, %7 s left")
                         .arg(p.pointIndex + 1)
                         .arg(p.pointTotal)
                         .arg(p.point.setpointPsi, 0, 'g', 6)
                         .arg(p.point.up ? "up" : "down")
                         .arg(p.point.cycle)
                         .arg(device::VerificationPhaseName(p.phase))
                         .arg(p.secondsLeft, 0, 'f', 1));
}

void VerificationWindow::AddPoint(const device::VerificationPoint& point) {
    m_shown.push_back(point);
    const int row = m_points->rowCount();
    m_points->insertRow(row);
    const QStringList cells = PointCells(point);
    for (int c = 0; c < cells.size(); ++c) m_points->setItem(row, c, new QTableWidgetItem(cells[c]));
    m_points->scrollToBottom();
    m_progress->setValue(row + 1);
    ShowFigures(device::ComputeVerificationFigures(m_shown, m_plan));
    UpdatePlot();
}

void VerificationWindow::ShowFigures(const std::vector<device::VerificationFigure>& figures) {
    for (int r = 0; r < m_figures->rowCount(); ++r)
        for (int c = 1; c < 5; ++c) m_figures->setItem(r, c, new QTableWidgetItem(""));
    for (size_t i = 0; i < figures.size() && int(i) < m_figures->rowCount(); ++i) {
        const auto& f = figures[i];
        if (f.pctFs) m_figures->item(int(i), 1)->setText(Num(*f.pctFs, 5));
        if (f.psi) m_figures->item(int(i), 2)->setText(Num(*f.psi, 6));
        if (f.tolerancePctFs) m_figures->item(int(i), 3)->setText(QString::number(*f.tolerancePctFs, 'g', 6));
        if (f.pass) m_figures->item(int(i), 4)->setText(*f.pass ? "pass" : "fail");
    }
}

void VerificationWindow::ShowResult(const device::VerificationResult& result) {
    m_result = result;
    // The table shows what the run filed, the point that did not settle included.
    m_shown.clear();
    m_points->setRowCount(0);
    for (const auto& p : result.points) {
        m_shown.push_back(p);
        const int row = m_points->rowCount();
        m_points->insertRow(row);
        const QStringList cells = PointCells(p);
        for (int c = 0; c < cells.size(); ++c) m_points->setItem(row, c, new QTableWidgetItem(cells[c]));
    }
    ShowFigures(result.figures);
    UpdatePlot();
    QString verdict = QString("Verdict: %1").arg(device::VerdictName(result.verdict));
    if (!result.incompleteReason.empty())
        verdict += " (" + QString::fromStdString(result.incompleteReason) + ")";
    m_verdict->setText(verdict);
    m_state->setText("Finished");
    EndRun();
}

void VerificationWindow::EndRun() {
    m_feed.reset();
    m_worker.reset();
    m_ref.reset();
    m_start->setText("Start");
    m_take->setEnabled(false);
    m_prompt->clear();
    m_saveReport->setEnabled(m_result.has_value());
}

void VerificationWindow::UpdatePlot() { DrawPlot(m_plot); }

void VerificationWindow::DrawPlot(VerificationPlot* plot) const {
    std::optional<double> band;
    if (auto it = m_plan.tolerances.find("max_error"); it != m_plan.tolerances.end()) band = it->second;
    plot->SetData(m_shown, m_plan.minPsi, m_plan.maxPsi, band);
}

bool VerificationWindow::SaveReport(const QString& path, std::string* error) const {
    if (!m_result) {
        *error = "no run has finished";
        return false;
    }
    device::VerificationReport report;
    if (device::MeasurementSession* s = m_host.session ? m_host.session() : nullptr)
        report = device::ReportOf(*m_result, *s, m_host.port ? m_host.port() : device::ReportedPort{});
    else
        report.result = *m_result;
    const std::string html = device::VerificationHtml(report);
    if (path.endsWith(".pdf", Qt::CaseInsensitive)) {
        QPdfWriter writer(path);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setResolution(150);
        // QTextDocument draws no SVG: the report's plot goes in as a picture of the window's own.
        VerificationPlot plot;
        DrawPlot(&plot);
        plot.resize(1280, 640);
        QTextDocument doc;
        doc.addResource(QTextDocument::ImageResource, QUrl("zel:error-plot"),
                        plot.grab().toImage());
        static const QRegularExpression svg("<svg[\\s\\S]*?</svg>");
        doc.setHtml(QString::fromStdString(html).replace(
            svg, "<img src=\"zel:error-plot\" width=\"640\" height=\"320\">"));
        doc.setPageSize(writer.pageLayout().paintRectPixels(writer.resolution()).size());
        doc.print(&writer);
        if (!QFile::exists(path)) {
            *error = "\"" + path.toStdString() + "\" cannot be written";
            return false;
        }
        return true;
    }
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        f.write(html.data(), qint64(html.size())) != qint64(html.size())) {
        *error = "\"" + path.toStdString() + "\" cannot be written";
        return false;
    }
    return true;
}

QString VerificationWindow::PointsText() const {
    QStringList lines;
    QStringList header;
    for (const char* c : kPointColumns) header << c;
    lines << header.join('\t');
    for (const auto& p : m_shown) lines << PointCells(p).join('\t');
    return lines.join('\n') + '\n';
}

void VerificationWindow::OnCopy() { QApplication::clipboard()->setText(PointsText()); }

void VerificationWindow::OnSaveReport() {
    const QString path = QFileDialog::getSaveFileName(this, "Save Report", "verification.html",
                                                      "HTML (*.html);;PDF (*.pdf)");
    if (path.isEmpty()) return;
    std::string error;
    if (!SaveReport(path, &error)) m_state->setText(QString::fromStdString(error));
}

void VerificationWindow::OnLoad() {
    const QString path = QFileDialog::getOpenFileName(this, "Load Plan", "", "Plan (*.json)");
    if (path.isEmpty()) return;
    std::ifstream in(path.toStdString());
    std::stringstream text;
    text << in.rdbuf();
    device::VerificationPlan plan;
    std::string error;
    if (!device::ParseVerificationPlan(text.str(), &plan, &error)) {
        m_state->setText(QString::fromStdString(error));
        return;
    }
    SetPlan(plan);
}

void VerificationWindow::OnSave() {
    device::VerificationPlan plan;
    std::string error;
    if (!PlanOf(&plan, &error)) {
        m_state->setText(QString::fromStdString(error));
        return;
    }
    const QString path = QFileDialog::getSaveFileName(this, "Save Plan", "plan.json", "Plan (*.json)");
    if (path.isEmpty()) return;
    std::ofstream out(path.toStdString(), std::ios::trunc);
    out << device::VerificationPlanJson(plan);
    if (!out) m_state->setText("\"" + path + "\" cannot be written");
}

}  // namespace ui
