// The registry of named objects, clients and notifications; unique names.
#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "runtime_test_util.h"

namespace {

struct Client {
    t_object ob;
    std::vector<std::string>* log;
    Client* detach_other;  // detached (by name) when this client is notified
    t_symbol* other_name;
    std::atomic<long>* count;
};

struct Subject {
    t_object ob;
    int32_t level;
};

t_hox_err client_notify(Client* x, t_symbol* name, t_symbol* msg, void* sender, void* data) {
    if (x->count) {
        x->count->fetch_add(1);
        return HOX_ERR_NONE;
    }
    std::string line = std::string(name->s_name) + " " + msg->s_name;
    if (data && msg == gensym("attr_modified")) line += std::string(" ") + hox_attr_name(static_cast<t_object*>(data))->s_name;
    if (sender) line += " from sender";
    x->log->push_back(line);
    if (x->detach_other) vor_object_detach(x->other_name, x->detach_other);
    return HOX_ERR_NONE;
}

t_class* client_class() {
    static t_class* c = [] {
        t_class* k = vor_class_new("registry_test_client", nullptr, nullptr, sizeof(Client), A_CANT, 0);
        vor_class_addmethod(k, HOXFN(client_notify), "notify", A_CANT, 0);
        vor_class_register(k);
        return k;
    }();
    return c;
}

t_class* subject_class() {
    static t_class* c = [] {
        t_class* k = vor_class_new("registry_test_subject", nullptr, nullptr, sizeof(Subject), A_CANT, 0);
        vor_class_addattr(k, static_cast<t_object*>(vor_object_new(_vor_sym_vor_attr_offset, "level", _vor_sym_long,
                                                                   0L, static_cast<const t_fn*>(nullptr),
                                                                   static_cast<const t_fn*>(nullptr),
                                                                   static_cast<long>(offsetof(Subject, level)))));
        vor_class_addmethod(k, &vor_object_register_method, "register", A_CANT, 0);
        vor_class_addmethod(k, &vor_method_true, "class_subject", A_CANT, 0);
        vor_class_register(k);
        return k;
    }();
    return c;
}

class Registry : public ::testing::Test {
protected:
    Client* client(std::vector<std::string>* log) {
        auto* c = static_cast<Client*>(vor_object_alloc(client_class()));
        c->log = log;
        clients.push_back(c);
        return c;
    }
    void TearDown() override {
        for (Client* c : clients) vor_object_free(c);
    }
    std::vector<Client*> clients;
};

}  // namespace

TEST_F(Registry, RegisterFindAndNameClashes) {
    auto* a = static_cast<Subject*>(vor_object_alloc(subject_class()));
    auto* b = static_cast<Subject*>(vor_object_alloc(subject_class()));
    t_symbol* name = vor_symbol_unique();
    EXPECT_EQ(vor_object_findregistered(name), nullptr);
    EXPECT_EQ(vor_object_register(a, name), a);
    EXPECT_EQ(vor_object_findregistered(name), a);
    EXPECT_EQ(vor_object_findregisteredbyptr(a), name);
    // A taken name answers with the object already there.
    EXPECT_EQ(vor_object_method(b, gensym("register"), name), a);
    EXPECT_EQ(vor_object_findregisteredbyptr(b), nullptr);
    EXPECT_EQ(reinterpret_cast<t_word>(vor_object_method(b, gensym("class_subject"))), 1);

    EXPECT_EQ(vor_object_unregister(a), HOX_ERR_NONE);
    EXPECT_EQ(vor_object_findregistered(name), nullptr);
    EXPECT_EQ(vor_object_unregister(a), HOX_EROR);
    EXPECT_EQ(vor_object_method(b, gensym("register"), name), b);
    vor_object_free(b);
    EXPECT_EQ(vor_object_findregistered(name), nullptr);  // freeing unregisters
    vor_object_free(a);
}

TEST_F(Registry, ClientsAttachedBeforeAndAfterRegistrationAreNotified) {
    std::vector<std::string> log;
    t_symbol* name = vor_symbol_unique();
    Client* early = client(&log);
    EXPECT_EQ(vor_object_attach(name, early), nullptr);  // nothing registered yet
    auto* s = static_cast<Subject*>(vor_object_alloc(subject_class()));
    vor_object_register(s, name);
    Client* late = client(&log);
    EXPECT_EQ(vor_object_attach(name, late), s);
    EXPECT_EQ(vor_object_attach(name, late), s);  // attaching twice still notifies once

    EXPECT_EQ(vor_object_notify(s, gensym("typedmess"), nullptr), HOX_ERR_NONE);
    ASSERT_EQ(vor_attr_user_touch(s, gensym("level")), HOX_ERR_NONE);
    EXPECT_EQ(vor_attr_user_touch(s, gensym("missing")), HOX_EROR);
    std::string n = name->s_name;
    EXPECT_EQ(log, (std::vector<std::string>{n + " typedmess from sender", n + " typedmess from sender",
                                             n + " attr_modified level from sender",
                                             n + " attr_modified level from sender"}));

    log.clear();
    EXPECT_EQ(vor_object_detach(name, early), HOX_ERR_NONE);
    EXPECT_EQ(vor_object_detach(name, early), HOX_EROR);
    vor_object_free(s);  // the remaining client hears "free"
    EXPECT_EQ(log, std::vector<std::string>{n + " free from sender"});
    EXPECT_EQ(vor_object_detach(name, late), HOX_ERR_NONE);

    // An unregistered object has nobody to notify.
    auto* lone = vor_object_alloc(subject_class());
    EXPECT_EQ(vor_object_notify(lone, gensym("x"), nullptr), HOX_EROR);
    vor_object_free(lone);
}

TEST_F(Registry, AClientMayDetachAnotherDuringNotification) {
    std::vector<std::string> log;
    t_symbol* name = vor_symbol_unique();
    auto* s = vor_object_alloc(subject_class());
    vor_object_register(s, name);
    Client* first = client(&log);
    Client* second = client(&log);
    first->detach_other = second;
    first->other_name = name;
    vor_object_attach(name, first);
    vor_object_attach(name, second);
    vor_object_notify(s, gensym("ping"), nullptr);
    // The second client left before its turn and is not called.
    EXPECT_EQ(log.size(), 1u);
    vor_object_notify(s, gensym("ping"), nullptr);
    EXPECT_EQ(log.size(), 2u);
    vor_object_detach(name, first);
    vor_object_free(s);
}

TEST_F(Registry, NotifyFromOtherThreadsWhileClientsComeAndGo) {
    t_symbol* name = vor_symbol_unique();
    auto* s = vor_object_alloc(subject_class());
    vor_object_register(s, name);
    std::atomic<long> count{0};
    Client* steady = client(nullptr);
    steady->count = &count;
    vor_object_attach(name, steady);
    std::vector<Client*> movers;
    for (int i = 0; i < 4; ++i) {
        movers.push_back(client(nullptr));
        movers.back()->count = &count;
    }
    std::atomic<bool> stop{false};
    std::thread streamer([&] {
        for (int i = 0; i < 2000; ++i) vor_object_notify(s, gensym("frame"), nullptr);
        stop = true;
    });
    while (!stop)
        for (Client* m : movers) {
            vor_object_attach(name, m);
            vor_object_detach(name, m);
        }
    streamer.join();
    EXPECT_GE(count.load(), 2000);
    vor_object_detach(name, steady);
    vor_object_free(s);
}

TEST(UniqueNames, CountUpFromTheFirstValueAndNeverRepeat) {
    t_symbol* first = vor_symbol_unique();
    ASSERT_EQ(first->s_name[0], 'u');
    long long n = std::stoll(first->s_name + 1);
    EXPECT_GE(n, 1000000001LL);
    std::vector<std::set<t_symbol*>> seen(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &seen] {
            for (int i = 0; i < 250; ++i) seen[t].insert(vor_symbol_unique());
        });
    for (auto& th : threads) th.join();
    std::set<t_symbol*> all;
    for (auto& s : seen) all.insert(s.begin(), s.end());
    EXPECT_EQ(all.size(), 1000u);
    EXPECT_EQ(all.count(first), 0u);
    t_symbol* next = vor_symbol_unique();
    EXPECT_EQ(std::stoll(next->s_name + 1), n + 1001);
}
