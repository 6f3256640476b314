#pragma once

#include <QString>
#include <QStyledItemDelegate>
#include <QTreeWidget>

namespace vornel {

// The text a row shows for `text`: every control character (0 to 31, and 127) becomes its
// picture from the Unicode "Control Pictures" block (NUL as U+2400, LF as U+240A, CR as U+240D,
// DEL as U+2421), so the text stays on one line and its line ends and NUL bytes can be seen.
QString withControlPictures(const QString& text);

// Draws text through withControlPictures(); the text held by the row keeps its characters.
class ControlPictureDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QString displayText(const QVariant& value, const QLocale& locale) const override;
};

// A list view with column headers and rows of text, in the manner of a report: every row's first
// column is empty and its further columns (sub-items 1, 2, ...) hold the text. Rows stay in the
// order in which they were appended; they are never sorted, and none has children.
class ListView : public QTreeWidget {
    Q_OBJECT

public:
    explicit ListView(QWidget* parent = nullptr);

    // Column headers.
    void clearColumnHeaders();
    void addColumnHeader(const QString& text, int widthTwips);

    // Rows.
    void clearRows();
    QTreeWidgetItem* addRow();
    // Sets the text of a row's sub-item `index`, its column `index` (0 is the row's own column);
    // an index outside the columns is refused with std::out_of_range.
    void setSubItem(QTreeWidgetItem* row, int index, const QString& text);

    // Makes the rows show `texts` in sub-item `index`, one row each, changing only what differs:
    // a row whose text is unchanged stays the same row, untouched (its selection with it, and
    // what assistive tools hold of it); rows are added or removed, at the end, only when the
    // count changes. An index outside the columns is refused with std::out_of_range.
    void showRows(int index, const QStringList& texts);

    // Rows one per line under the column headers, which are hidden until then.
    void setReportView();

    // The part of a column's width that an item's text cannot use: the margins the style draws
    // on either side of it. Text wider than the rest is cut short with "...".
    int itemTextMargins() const;
};

}  // namespace vornel
