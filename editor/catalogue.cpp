// The catalogue's store and the field rules shared by every kind: slots, defaults, labels, the
// value shown, the state icon and completeness.
#include "catalogue.h"

#include "audit_catalogue.h"
#include "script_catalogue.h"

namespace dkedit {

std::string FieldStore::key(const Kind& kind, const Field& field) {
    return field.slot.empty() ? kind.id + "/" + field.label : field.slot;
}

const std::string& FieldStore::get(const std::string& key) const {
    static const std::string empty;
    auto it = values_.find(key);
    return it == values_.end() ? empty : it->second;
}

// Texts are bounded at entry; arguments longer than that are still kept whole when analysed.
void FieldStore::set(const std::string& key, std::string value) { values_[key] = std::move(value); }

static const Field* field_by_label(const Kind& kind, const std::string& label) {
    for (const Field& f : kind.fields) {
        if (f.label == label) return &f;
    }
    return nullptr;
}

const std::string& FieldStore::value(const Kind& kind, const std::string& label) const {
    const Field* f = field_by_label(kind, label);
    return get(f ? key(kind, *f) : kind.id + "/" + label);
}

void FieldStore::set_value(const Kind& kind, const std::string& label, std::string v) {
    const Field* f = field_by_label(kind, label);
    set(f ? key(kind, *f) : kind.id + "/" + label, std::move(v));
}

Catalogue::Catalogue() {
    roots_.push_back(script_catalogue());
    roots_.push_back(audit_catalogue());
    for (const CatalogueRoot& root : roots_) {
        tree_.insert(tree_.end(), root.tree.begin(), root.tree.end());
        kinds_.insert(kinds_.end(), root.kinds.begin(), root.kinds.end());
    }
}

const Kind* Catalogue::find(const std::string& id) const {
    for (const Kind& k : kinds_) {
        if (k.id == id) return &k;
    }
    return nullptr;
}

void Catalogue::reset(FieldStore& store) const {
    store.clear();
    for (const Kind& k : kinds_) {
        for (const Field& f : k.fields) {
            if (!f.initial.empty()) store.set(FieldStore::key(k, f), f.initial);
        }
    }
}

bool field_not_applicable(const Kind& kind, const Field& field, const FieldStore& store) {
    return field.not_applicable && field.not_applicable(kind, store);
}

bool field_required(const Kind& kind, const Field& field, const FieldStore& store) {
    if (field_not_applicable(kind, field, store)) return false;
    return field.required_when ? field.required_when(kind, store) : field.required;
}

std::string field_label(const Kind& kind, const Field& field, const FieldStore& store) {
    return field.label_when ? field.label_when(kind, store) : field.label;
}

std::string field_display(const Kind& kind, const Field& field, const FieldStore& store) {
    const std::string& v = store.get(FieldStore::key(kind, field));
    if (field.display_when) return field.display_when(kind, store);
    if (field.display) return field.display(v);
    if (field.edit == EditCode::Variable && v.size() >= 2 && v.front() == '{' && v.back() == '}') {
        return v.substr(1, v.size() - 2);
    }
    for (const Choice& c : field.choices) {
        if (c.value == v) return c.display();
    }
    return v;
}

FieldIcon field_icon(const Kind& kind, const Field& field, const FieldStore& store) {
    if (field_not_applicable(kind, field, store)) return FieldIcon::NotApplicable;
    if (field.choice_icon || field.edit == EditCode::Choice || field.edit == EditCode::Toggle) return FieldIcon::Choice;
    return store.get(FieldStore::key(kind, field)).empty() ? FieldIcon::Empty : FieldIcon::Set;
}

bool kind_complete(const Kind& kind, const FieldStore& store) {
    if (kind.never_complete || kind.head) return false;
    for (const Field& f : kind.fields) {
        if (field_required(kind, f, store) && store.get(FieldStore::key(kind, f)).empty()) return false;
    }
    return !kind.complete_when || kind.complete_when(kind, store);
}

std::string as_variable(const std::string& text) {
    if (text.empty()) return text;
    const bool open = text.front() == '{', close = text.back() == '}';
    if (open && close && text.size() >= 2) return text;
    if (open) return text + "}";
    if (close) return "{" + text;
    return "{" + text + "}";
}

}  // namespace dkedit
