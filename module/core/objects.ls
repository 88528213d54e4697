// Object lifetime: every object comes from the game's allocator, sits in the game's lists
// from creation until its deletion, and is deleted here after BaseObject::destroy queued it.
#include <new>

void* operator new(size_t size) {
    if (void* p = dlmalloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    dlfree(p);
}
void operator delete(void* p, size_t) noexcept {
    dlfree(p);
}

namespace {
void unlist(ObjectList& list, BaseObject* obj) {
    int at = list.find(obj);
    if (at >= 0) list.erase(at);
}

// The class table of T, read from a short-lived probe object (constructors here have no
// side effects; objects enter the lists only through spawn).
template <typename T>
void* class_table() {
    T probe;
    void* table;
    memcpy(&table, static_cast<void*>(&probe), sizeof(table));
    return table;
}

// Lists and deletes the objects destroyed so far.
void delete_destroyed() {
    for (int i = 0; i < deleted_actors.num; ++i) {
        BaseObject* obj = deleted_actors[i];
        for (ObjectList* list : actor_lists) unlist(*list, obj);
        remove_proximity_object(obj);
        if (obj == local_player) local_player = nullptr;
        delete obj;
    }
    deleted_actors.num = 0;
}
} // namespace

// Every game object: a position on the wrapping world.
class Actor : public ActorBase {
  public:
    vec4f pos = make4f(0.0f, 0.0f, 0.0f, 1.0f);

    const char* className() override { return "Actor"; }
    virtual void update(float dt) {}
    virtual void render(float time) {}
    virtual void renderShadow() {}
    // The lists the object is kept in, besides its own class list.
    virtual ObjectList* groupList() { return &Actor_list; }
    static ObjectList* ownList() { return &Actor_list; }
};

// Creates an object of T and lists it in its group and class lists.
template <typename T>
T* spawn() {
    T* obj = new T;
    ObjectList* own = T::ownList();
    ObjectList* group = obj->groupList();
    if (group && group != own) group->push_back(obj);
    if (own) own->push_back(obj);
    return obj;
}

template <typename F>
void for_each_live(ObjectList& list, F&& f) {
    for (int i = 0; i < list.num; ++i)
        if (!list[i]->isDestroyed()) f(static_cast<Actor*>(list[i]));
}

void destroy_all(bool keep_player) {
    for (ObjectList* list : actor_lists)
        for (BaseObject* obj : *list)
            if (!keep_player || obj != local_player) obj->destroy();
}
