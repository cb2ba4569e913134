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
    std::atomic<long>* count;  // instead of the log, from other threads
    Client* detach_other;      // detached when this client is notified
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
    x->log->push_back(line + (sender ? " from sender" : ""));
    if (x->detach_other) vor_object_detach(name, x->detach_other);
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
        vor_class_addattr(k, offset_attr("level", _vor_sym_long, offsetof(Subject, level)));
        vor_class_addmethod(k, &vor_object_register_method, "register", A_CANT, 0);
        vor_class_register(k);
        return k;
    }();
    return c;
}

class Registry : public ::testing::Test {
protected:
    Client* client(std::vector<std::string>* log, std::atomic<long>* count = nullptr) {
        auto* c = static_cast<Client*>(vor_object_alloc(client_class()));
        c->log = log;
        c->count = count;
        clients.push_back(c);
        return c;
    }
    void* subject(t_symbol* name) {
        void* s = vor_object_alloc(subject_class());
        EXPECT_EQ(vor_object_register(s, name), s);
        return s;
    }
    void TearDown() override {
        for (Client* c : clients) vor_object_free(c);
    }
    std::vector<Client*> clients;
    std::vector<std::string> log;
    t_symbol* name = vor_symbol_unique();
};

}  // namespace

TEST_F(Registry, RegisterFindAndNameClashes) {
    EXPECT_EQ(vor_object_findregistered(name), nullptr);
    void* a = subject(name);
    void* b = vor_object_alloc(subject_class());
    EXPECT_EQ(vor_object_findregistered(name), a);
    EXPECT_EQ(vor_object_findregisteredbyptr(a), name);
    // A taken name answers with the object already there.
    EXPECT_EQ(vor_object_method(b, gensym("register"), name), a);
    EXPECT_EQ(vor_object_findregisteredbyptr(b), nullptr);
    EXPECT_EQ(vor_object_unregister(a), HOX_ERR_NONE);
    EXPECT_EQ(vor_object_findregistered(name), nullptr);
    EXPECT_EQ(vor_object_unregister(a), HOX_EROR);
    EXPECT_EQ(vor_object_method(b, gensym("register"), name), b);
    vor_object_free(b);
    EXPECT_EQ(vor_object_findregistered(name), nullptr);  // freeing unregisters
    vor_object_free(a);
}

TEST_F(Registry, ClientsAttachedBeforeAndAfterRegistrationAreNotified) {
    Client* early = client(&log);
    EXPECT_EQ(vor_object_attach(name, early), nullptr);  // nothing registered yet
    void* s = subject(name);
    Client* late = client(&log);
    EXPECT_EQ(vor_object_attach(name, late), s);
    EXPECT_EQ(vor_object_attach(name, late), s);  // attaching twice still notifies once
    EXPECT_EQ(vor_object_notify(s, gensym("typedmess"), nullptr), HOX_ERR_NONE);
    ASSERT_EQ(vor_attr_user_touch(s, gensym("level")), HOX_ERR_NONE);
    EXPECT_EQ(vor_attr_user_touch(s, gensym("missing")), HOX_EROR);
    const std::string n = name->s_name;
    EXPECT_EQ(log, (std::vector<std::string>{n + " typedmess from sender", n + " typedmess from sender",
                                             n + " attr_modified level from sender",
                                             n + " attr_modified level from sender"}));
    log.clear();
    EXPECT_EQ(vor_object_detach(name, early), HOX_ERR_NONE);
    EXPECT_EQ(vor_object_detach(name, early), HOX_EROR);
    vor_object_free(s);  // the remaining client hears "free"
    EXPECT_EQ(log, std::vector<std::string>{n + " free from sender"});
    EXPECT_EQ(vor_object_detach(name, late), HOX_ERR_NONE);
    void* lone = vor_object_alloc(subject_class());  // unregistered: nobody to notify
    EXPECT_EQ(vor_object_notify(lone, gensym("x"), nullptr), HOX_EROR);
    vor_object_free(lone);
}

TEST_F(Registry, AClientMayDetachAnotherDuringNotification) {
    void* s = subject(name);
    Client* first = client(&log);
    Client* second = client(&log);
    first->detach_other = second;
    vor_object_attach(name, first);
    vor_object_attach(name, second);
    vor_object_notify(s, gensym("ping"), nullptr);
    EXPECT_EQ(log.size(), 1u);  // the second client left before its turn
    vor_object_notify(s, gensym("ping"), nullptr);
    EXPECT_EQ(log.size(), 2u);
    vor_object_detach(name, first);
    vor_object_free(s);
}

TEST_F(Registry, NotifyFromOtherThreadsWhileClientsComeAndGo) {
    void* s = subject(name);
    std::atomic<long> count{0};
    Client* steady = client(nullptr, &count);
    vor_object_attach(name, steady);
    std::vector<Client*> movers;
    for (int i = 0; i < 4; ++i) movers.push_back(client(nullptr, &count));
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

TEST(UniqueNames, NeverRepeatAcrossThreads) {
    // How they count up is shown by the shell's transcripts (u1000000006...).
    std::vector<std::set<t_symbol*>> seen(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &seen] {
            for (int i = 0; i < 250; ++i) seen[t].insert(vor_symbol_unique());
        });
    for (auto& th : threads) th.join();
    for (int t = 1; t < 4; ++t) seen[0].insert(seen[t].begin(), seen[t].end());
    EXPECT_EQ(seen[0].size(), 1000u);
}
