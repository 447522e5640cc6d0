#pragma once
// A report-view list control: columns, rows whose texts the parent supplies on demand
// (LVN_GETDISPINFO with the row's lParam), and the selection helpers the windows need.

#include "ui/Control.h"

#include <string>
#include <vector>

namespace hml::ui {

class CListView : public CControl {
public:
    void SetExtendedStyle(DWORD style) const;
    int ColumnCount() const;
    void InsertColumn(int index, const std::wstring& header, int width) const;
    // Fits every column to the wider of its contents and its header.
    void AutoSizeColumns() const;

    int RowCount() const;
    void SetRowCount(int count) const;
    void DeleteAllRows() const;
    // A row whose texts come from the parent; param comes back with each request.
    int InsertCallbackRow(int index, LPARAM param) const;

    std::vector<int> SelectedRows() const;
    void SelectAll() const;
    void ClearSelection() const;
    // Selects and focuses one row (without touching others) and scrolls it into view.
    void SelectRow(int row) const;
};

} // namespace hml::ui
