#include "ui/ListView.h"

#include <commctrl.h>

namespace hml::ui {

void CListView::SetExtendedStyle(DWORD style) const {
    Send(LVM_SETEXTENDEDLISTVIEWSTYLE, style, style);
}

int CListView::ColumnCount() const {
    HWND header = reinterpret_cast<HWND>(Send(LVM_GETHEADER));
    return header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

void CListView::InsertColumn(int index, const std::wstring& header, int width) const {
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = width;
    column.pszText = const_cast<wchar_t*>(header.c_str());
    column.iSubItem = index;
    Send(LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

void CListView::AutoSizeColumns() const {
    for (int c = 0, n = ColumnCount(); c < n; ++c) {
        Send(LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(c), LVSCW_AUTOSIZE_USEHEADER);
    }
}

int CListView::RowCount() const {
    return static_cast<int>(Send(LVM_GETITEMCOUNT));
}

void CListView::SetRowCount(int count) const {
    Send(LVM_SETITEMCOUNT, static_cast<WPARAM>(count), 0);
}

void CListView::DeleteAllRows() const {
    Send(LVM_DELETEALLITEMS);
}

int CListView::InsertCallbackRow(int index, LPARAM param) const {
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = index;
    item.pszText = LPSTR_TEXTCALLBACKW;
    item.lParam = param;
    return static_cast<int>(Send(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

std::vector<int> CListView::SelectedRows() const {
    std::vector<int> rows;
    for (int row = -1; (row = static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(row),
                                                    LVNI_SELECTED))) >= 0;) {
        rows.push_back(row);
    }
    return rows;
}

namespace {
void SetState(const CListView& list, int row, UINT state, UINT mask) {
    LVITEMW item{};
    item.stateMask = mask;
    item.state = state;
    list.Send(LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}
} // namespace

void CListView::SelectAll() const {
    SetState(*this, -1, LVIS_SELECTED, LVIS_SELECTED);
}

void CListView::ClearSelection() const {
    SetState(*this, -1, 0, LVIS_SELECTED);
}

void CListView::SelectRow(int row) const {
    SetState(*this, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    Send(LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}

} // namespace hml::ui
