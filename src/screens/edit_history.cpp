#include "screens/edit_history.h"

namespace nemora {

std::size_t EditHistory::Bytes(const EditorState& s)
{
    return static_cast<std::size_t>(s.image.Width()) * static_cast<std::size_t>(s.image.Height());
}

void EditHistory::Record(EditorState before)
{
    for (const EditorState& s : m_redo)
        m_bytes -= Bytes(s);
    m_redo.clear();
    m_bytes += Bytes(before);
    m_undo.push_back(std::move(before));
    Trim();
}

std::optional<EditorState> EditHistory::Undo(EditorState current)
{
    if (m_undo.empty())
        return std::nullopt;
    EditorState previous = std::move(m_undo.back());
    m_undo.pop_back();
    m_bytes += Bytes(current) - Bytes(previous);
    m_redo.push_back(std::move(current));
    return previous;
}

std::optional<EditorState> EditHistory::Redo(EditorState current)
{
    if (m_redo.empty())
        return std::nullopt;
    EditorState next = std::move(m_redo.back());
    m_redo.pop_back();
    m_bytes += Bytes(current) - Bytes(next);
    m_undo.push_back(std::move(current));
    Trim();
    return next;
}

void EditHistory::Clear()
{
    m_undo.clear();
    m_redo.clear();
    m_bytes = 0;
}

void EditHistory::Trim()
{
    // Redo entries count against the budget too, but only undo entries are given up.
    while (m_undo.size() > 1 && (m_bytes > m_budget || m_undo.size() > kMaxSteps)) {
        m_bytes -= Bytes(m_undo.front());
        m_undo.pop_front();
    }
}

} // namespace nemora
