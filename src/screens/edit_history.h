#pragma once

#include "screens/mono_image.h"

#include <cstddef>
#include <deque>
#include <optional>

namespace nemora {

// What one step of the logo editor changes: the picture, and whether the editor still compares its
// changes with the screen image it was opened on (an import loses that link, undoing the import brings
// it back).
struct EditorState {
    MonoImage image;
    bool attached = false;

    bool operator==(const EditorState&) const = default;
};

// Undo and redo over whole editor states. Each step stores the state before it; undoing swaps it with
// the current one. The stacks hold at most a byte budget of pixels (and a number of steps): the oldest
// steps are dropped first, but the newest one is always kept, so even a 4096 x 4096 picture can be
// undone once.
class EditHistory {
public:
    static constexpr std::size_t kDefaultBudget = 64u * 1024u * 1024u;
    static constexpr std::size_t kMaxSteps = 500;

    explicit EditHistory(std::size_t byteBudget = kDefaultBudget) : m_budget(byteBudget) {}

    // A step was made; before is the state it started from. Forgets what could be redone.
    void Record(EditorState before);
    // The state to show instead of current, or nothing when there is no step to undo (redo).
    std::optional<EditorState> Undo(EditorState current);
    std::optional<EditorState> Redo(EditorState current);

    bool CanUndo() const { return !m_undo.empty(); }
    bool CanRedo() const { return !m_redo.empty(); }
    std::size_t UndoCount() const { return m_undo.size(); }
    void Clear();

private:
    static std::size_t Bytes(const EditorState& s);
    void Trim();

    std::size_t m_budget;
    std::size_t m_bytes = 0;
    std::deque<EditorState> m_undo; // newest at the back
    std::deque<EditorState> m_redo;
};

} // namespace nemora
