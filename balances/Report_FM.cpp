#include "Report_FM.h"

TReportFM::TReportFM(QWidget* parent) : ResultForm(QStringLiteral("Отчеты"), parent) {
    Splitter1->addWidget(gbResult);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({100, 330});
}

void TReportFM::BuildResult() {
    openResult();
}
