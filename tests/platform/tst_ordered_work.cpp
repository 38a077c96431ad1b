#include "platform/ordered_work.h"

#include <QSet>
#include <QTest>

#include <atomic>
#include <chrono>
#include <random>

class TestOrderedWork : public QObject
{
    Q_OBJECT

private slots:
    void resultsComeInTheOrderHandedOut_data();
    void resultsComeInTheOrderHandedOut();
    void stoppingWithJobsLeftDropsThem();
};

void TestOrderedWork::resultsComeInTheOrderHandedOut_data()
{
    QTest::addColumn<int>("workers");
    QTest::newRow("on the caller's thread") << 0;
    QTest::newRow("one worker") << 1;
    QTest::newRow("four workers") << 4;
}

// Jobs that take very different times still come back in order, each made once, with the caller
// handing out more as it takes them.
void TestOrderedWork::resultsComeInTheOrderHandedOut()
{
    QFETCH(int, workers);
    std::atomic<int> made {0};
    std::vector<int> delays(200);
    std::mt19937 random(7);
    for (int &delay : delays)
        delay = int(random() % 300);
    OrderedWork<int, std::pair<int, int>> work(workers, [&](int &job, int worker) {
        std::this_thread::sleep_for(std::chrono::microseconds(delays[job]));
        ++made;
        return std::pair(job * job, worker);
    });
    int handedOut = 0;
    QSet<int> workersSeen;
    for (int expected = 0; expected < 200; ++expected) {
        while (handedOut < 200 && work.pending() < 6)
            work.submit(handedOut++);
        QVERIFY(work.pending() <= 6);
        const auto [result, worker] = work.take();
        QCOMPARE(result, expected * expected);
        QVERIFY(worker >= 0 && worker < std::max(workers, 1));
        workersSeen << worker;
    }
    QCOMPARE(work.pending(), 0);
    QCOMPARE(made.load(), 200);
    if (workers == 4)
        QVERIFY(workersSeen.size() > 1);
}

// Leaving early (an export cancelled) waits for the jobs being made and never starts the others.
void TestOrderedWork::stoppingWithJobsLeftDropsThem()
{
    std::atomic<int> started {0};
    {
        OrderedWork<int, int> work(2, [&](int &job, int) {
            ++started;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            return job;
        });
        for (int job = 0; job < 50; ++job)
            work.submit(job);
        QCOMPARE(work.take(), 0);
    }
    QVERIFY2(started.load() < 10, QByteArray::number(started.load()).constData());
}

QTEST_GUILESS_MAIN(TestOrderedWork)
#include "tst_ordered_work.moc"
