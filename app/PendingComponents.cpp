#include "app/PendingComponents.h"

void TPendingListView::SetViewStyle(TViewStyle style)
{
    m_viewStyle = style;
    setViewMode(style == TViewStyle::Icon ? QListView::IconMode : QListView::ListMode);
}
