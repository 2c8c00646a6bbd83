#include "import/ProjectModel.h"

TypeRef::TypeRef() = default;

TypeRef::TypeRef(const TypeRef& other)
    : kind(other.kind), wide(other.wide), name(other.name), base(other.base), line(other.line),
      m_Detail(other.m_Detail ? std::make_unique<Detail>(*other.m_Detail) : nullptr) {}

TypeRef& TypeRef::operator=(const TypeRef& other) {
    if (this != &other) {
        TypeRef copy(other);
        *this = std::move(copy);
    }
    return *this;
}

TypeRef::TypeRef(TypeRef&& other) noexcept = default;
TypeRef& TypeRef::operator=(TypeRef&& other) noexcept = default;
TypeRef::~TypeRef() = default;

TypeRef::Detail& TypeRef::Details() {
    if (!m_Detail) {
        m_Detail = std::make_unique<Detail>();
    }
    return *m_Detail;
}

const TypeRef::Detail& TypeRef::Details() const {
    static const Detail kNone;
    return m_Detail ? *m_Detail : kNone;
}
