#include "tree/win32_tree_view.h"

#include <commctrl.h>

#ifdef UNICODE
#error "Portolan calls the ANSI entry points; build without UNICODE."
#endif

namespace {

HTREEITEM AsItem(TreeItem item)
{
    return static_cast<HTREEITEM>(item);
}

}  // namespace

TreeItem Win32TreeView::AppendItem(TreeItem parent, const char* label, void* param)
{
    TVINSERTSTRUCTA insert = {};
    insert.hParent = parent ? AsItem(parent) : TVI_ROOT;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM;
    // The control copies the text.
    insert.item.pszText = const_cast<char*>(label);
    insert.item.lParam = reinterpret_cast<LPARAM>(param);
    auto item = SendMessageA(tree_, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert));
    return reinterpret_cast<TreeItem>(item);
}

void Win32TreeView::SetItemImage(TreeItem item, int image)
{
    TVITEMA fields = {};
    fields.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    fields.hItem = AsItem(item);
    fields.iImage = image;
    fields.iSelectedImage = image;
    SendMessageA(tree_, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&fields));
}

TreeItem Win32TreeView::NextItem(TreeItem item, UINT relation)
{
    auto next = SendMessageA(tree_, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item));
    return reinterpret_cast<TreeItem>(next);
}

TreeItem Win32TreeView::FirstChild(TreeItem item)
{
    return NextItem(item, TVGN_CHILD);
}

TreeItem Win32TreeView::NextSibling(TreeItem item)
{
    return NextItem(item, TVGN_NEXT);
}

TreeItem Win32TreeView::Parent(TreeItem item)
{
    return NextItem(item, TVGN_PARENT);
}

void* Win32TreeView::ItemParam(TreeItem item)
{
    TVITEMA fields = {};
    fields.mask = TVIF_PARAM | TVIF_HANDLE;
    fields.hItem = AsItem(item);
    if (!SendMessageA(tree_, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&fields)))
        return nullptr;
    return reinterpret_cast<void*>(fields.lParam);
}

void Win32TreeView::Expand(TreeItem item)
{
    SendMessageA(tree_, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
}

TreeItem Win32TreeView::Selection()
{
    return NextItem(nullptr, TVGN_CARET);
}

void Win32TreeView::ClearSelection()
{
    SendMessageA(tree_, TVM_SELECTITEM, TVGN_CARET, 0);
}

void Win32TreeView::DeleteItem(TreeItem item)
{
    SendMessageA(tree_, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item));
}

void Win32TreeView::DeleteAllItems()
{
    SendMessageA(tree_, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
}
