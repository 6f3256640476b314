#include "forms/kit/list_view.h"

#include <QHeaderView>
#include <QStyle>
#include <stdexcept>
#include <string>

#include "forms/kit/window_def.h"

namespace vornel {

namespace {

constexpr char16_t kPicturesBase = 0x2400;  // NUL's picture; C0 control c is kPicturesBase + c
constexpr char16_t kDeletePicture = 0x2421;
constexpr char16_t kDelete = 0x7F;

}  // namespace

QString withControlPictures(const QString& text) {
    QString shown = text;
    for (QChar& c : shown) {
        const char16_t code = c.unicode();
        if (code < 0x20) {
            c = QChar(static_cast<char16_t>(kPicturesBase + code));
        } else if (code == kDelete) {
            c = QChar(kDeletePicture);
        }
    }
    return shown;
}

QString ControlPictureDelegate::displayText(const QVariant& value, const QLocale& locale) const {
    if (value.userType() == QMetaType::QString) {
        return withControlPictures(value.toString());
    }
    return withControlPictures(QStyledItemDelegate::displayText(value, locale));
}

ListView::ListView(QWidget* parent) : QTreeWidget(parent) {
    setItemDelegate(new ControlPictureDelegate(this));
    setSortingEnabled(false);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setHeaderHidden(true);
    // Columns keep the widths they are given; the last one does not stretch to the edge.
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    setColumnCount(0);
}

void ListView::clearColumnHeaders() {
    setColumnCount(0);
}

void ListView::addColumnHeader(const QString& text, int widthTwips) {
    const int column = columnCount();
    setColumnCount(column + 1);
    headerItem()->setText(column, text);
    setColumnWidth(column, twips(widthTwips));
}

void ListView::clearRows() {
    clear();
}

QTreeWidgetItem* ListView::addRow() {
    auto* row = new QTreeWidgetItem();
    row->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren);
    addTopLevelItem(row);
    return row;
}

void ListView::setSubItem(QTreeWidgetItem* row, int index, const QString& text) {
    if (index < 1 || index >= columnCount()) {
        throw std::out_of_range("list view: no sub-item " + std::to_string(index) + " in " +
                                std::to_string(columnCount()) + " columns");
    }
    row->setText(index, text);
}

void ListView::showRows(int index, const QStringList& texts) {
    const int count = static_cast<int>(texts.size());
    while (topLevelItemCount() > count) {
        delete takeTopLevelItem(topLevelItemCount() - 1);
    }
    for (int row = 0; row < count; ++row) {
        QTreeWidgetItem* item = row < topLevelItemCount() ? topLevelItem(row) : addRow();
        if (item->text(index) != texts.at(row)) {
            setSubItem(item, index, texts.at(row));
        }
    }
}

void ListView::setReportView() {
    setHeaderHidden(false);
}

int ListView::itemTextMargins() const {
    // As the style lays out an item: its focus frame's margin and one pixel, on each side.
    return 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1);
}

}  // namespace vornel
