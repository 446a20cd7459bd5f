#include "shellbrowser/ViewHelpers.h"
#include "net/ErrorBoundary.h"
#include <QLineEdit>
#include <QScrollBar>
#include <algorithm>
#include <cstdlib>

int ScaledDesignWidth(const QWidget* view, int designWidth)
{
    constexpr int designDigits = 60;
    const int digits = view->fontMetrics().horizontalAdvance(QStringLiteral("0123456789"));
    return designWidth * std::max(digits, designDigits) / designDigits;
}

void ScrollNearEdge(QAbstractScrollArea* area, int x, int y)
{
    const int margin = std::abs(area->fontMetrics().height());
    auto barSize = [](const QScrollBar* bar) { return bar && bar->minimum() != bar->maximum() ? 16 : 0; };
    QScrollBar* vertical = area->verticalScrollBar();
    QScrollBar* horizontal = area->horizontalScrollBar();
    if (y < margin)
        vertical->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (y > area->height() - barSize(vertical) - margin)
        vertical->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    if (x < margin)
        horizontal->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (x > area->width() - barSize(horizontal) - margin)
        horizontal->triggerAction(QAbstractSlider::SliderSingleStepAdd);
}

void TRenameDelegate::setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const
{
    const auto* line = qobject_cast<QLineEdit*>(editor);
    if (!line || line->text() == index.data(Qt::EditRole).toString())
        return;
    Guarded([&] { m_commit(index, line->text()); })();
}
