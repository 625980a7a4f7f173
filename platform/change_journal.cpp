#include "platform/change_journal.h"

#include <utility>

#include "platform/registry_text.h"

namespace pelvar::platform {

bool SameEntry(const EntryState& a, const EntryState& b) {
  if (a.kind != b.kind) return false;
  if (a.kind != EntryState::Kind::kFile) return true;
  if (a.size != b.size || a.executable != b.executable) return false;
  if (a.content && b.content) return *a.content == *b.content;
  return a.generation == b.generation;
}

Change& ChangeJournal::Entry(const std::string& index, Change::Type type,
                             const std::string& subject, bool& fresh) {
  const auto [it, inserted] = index_.emplace(index, changes_.size());
  fresh = inserted;
  if (inserted) {
    changes_.push_back({});
    changes_.back().type = type;
    changes_.back().subject = subject;
  }
  return changes_[it->second];
}

void ChangeJournal::PathChanged(const std::string& path, const EntryState& before,
                                const EntryState& after) {
  bool fresh = false;
  Change& c = Entry("p" + path, Change::Type::kPath, path, fresh);
  if (fresh) c.before = before;
  c.after = after;
}

void ChangeJournal::KeyChanged(const std::string& key, bool before, bool after) {
  bool fresh = false;
  Change& c = Entry("k" + NameFoldText(key), Change::Type::kRegistryKey, key, fresh);
  if (fresh) c.key_before = before;
  c.key_after = after;
}

void ChangeJournal::ValueChanged(const std::string& key, const std::string& name,
                                 const std::optional<RegistryValue>& before,
                                 const std::optional<RegistryValue>& after) {
  bool fresh = false;
  Change& c = Entry("v" + NameFoldText(key) + '\x01' + NameFoldText(name),
                    Change::Type::kRegistryValue, key, fresh);
  if (fresh) {
    c.value_name = name;
    c.value_before = before;
  }
  c.value_after = after;
}

void ChangeJournal::Note(std::string text) {
  changes_.push_back({});
  changes_.back().type = Change::Type::kNote;
  changes_.back().subject = std::move(text);
}

namespace {

bool SameValue(const std::optional<RegistryValue>& a, const std::optional<RegistryValue>& b) {
  if (a.has_value() != b.has_value()) return false;
  return !a || (a->type == b->type && a->data == b->data && a->name == b->name);
}

}  // namespace

std::vector<Change> ChangeJournal::Take() {
  std::vector<Change> out;
  for (Change& c : changes_) {
    switch (c.type) {
      case Change::Type::kPath:
        if (SameEntry(c.before, c.after)) continue;
        break;
      case Change::Type::kRegistryKey:
        if (c.key_before == c.key_after) continue;
        break;
      case Change::Type::kRegistryValue:
        if (SameValue(c.value_before, c.value_after)) continue;
        break;
      case Change::Type::kNote:
        break;
    }
    out.push_back(std::move(c));
  }
  changes_.clear();
  index_.clear();
  return out;
}

}  // namespace pelvar::platform
