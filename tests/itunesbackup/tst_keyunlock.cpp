// Password to passcode key to class keys, through our code, against public vectors and keybags the
// fixtures wrap with OpenSSL.
#include "BackupBuilder.h"
#include "TestMain.h"
#include "itunesbackup/Keybag.h"
#include "itunesbackup/Pbkdf2.h"
#include "itunesbackup/QOpenSSLEVPAES.h"


#include <openssl/evp.h>

using namespace itunesfixture;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

QByteArray record(const char *tag, const QByteArray &value)
{
    return itunesfixture::keybagRecord(tag, value);
}

QByteArray int32(quint32 v)
{
    return itunesfixture::bigEndian32(v);
}

KeybagSpec twoClasses()
{
    KeybagSpec spec;
    spec.classes = {KeybagClass{1, 3, QByteArray(32, '\x11'), false}, KeybagClass{3, 2, QByteArray(32, '\x33'), false}};
    return spec;
}

} // namespace

class TestKeyUnlock : public QObject
{
    Q_OBJECT

private slots:
    void pbkdf2Vectors_data()
    {
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QByteArray>("salt");
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("key");
        // RFC 6070.
        QTest::newRow("c=1") << QByteArray("password") << QByteArray("salt") << 1
                             << hex("0c60c80f961f0e71f3a9b524af6012062fe037a6");
        QTest::newRow("c=2") << QByteArray("password") << QByteArray("salt") << 2
                             << hex("ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957");
        QTest::newRow("c=4096") << QByteArray("password") << QByteArray("salt") << 4096
                                << hex("4b007901b765489abead49d926f721d065a429c1");
        QTest::newRow("two blocks") << QByteArray("passwordPASSWORDpassword")
                                    << QByteArray("saltSALTsaltSALTsaltSALTsaltSALTsalt") << 4096
                                    << hex("3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038");
        QTest::newRow("zero byte") << QByteArray("pass\0word", 9) << QByteArray("sa\0lt", 5) << 4096
                                   << hex("56fa6aa75548099dcc37d7f03425e0c3");
    }
    void pbkdf2Vectors()
    {
        QFETCH(QByteArray, password);
        QFETCH(QByteArray, salt);
        QFETCH(int, count);
        QFETCH(QByteArray, key);
        QCOMPARE(Pbkdf2::derive(EVP_sha1(), password, salt, count, int(key.size())), key);
    }

    void pbkdf2MatchesOpenSslAndStops()
    {
        const int count = 3 * Pbkdf2::sliceSize + 5;
        QByteArray expected(32, '\0');
        PKCS5_PBKDF2_HMAC("pw", 2, reinterpret_cast<const unsigned char *>("salt"), 4, count, EVP_sha256(), 32,
                          reinterpret_cast<unsigned char *>(expected.data()));
        QList<qint64> steps;
        QCOMPARE(Pbkdf2::derive(EVP_sha256(), "pw", "salt", count, 32, [&](qint64 done) {
                     steps << done;
                     return true;
                 }),
                 expected);
        QCOMPARE(steps, (QList<qint64>{Pbkdf2::sliceSize, 2 * Pbkdf2::sliceSize, 3 * Pbkdf2::sliceSize, count}));
        int calls = 0;
        QVERIFY(Pbkdf2::derive(EVP_sha256(), "pw", "salt", count, 32, [&](qint64) { return ++calls < 2; }).isEmpty());
        QCOMPARE(calls, 2);
        QVERIFY(Pbkdf2::derive(EVP_sha1(), "pw", "salt", 0, 32).isEmpty());
        QVERIFY(Pbkdf2::derive(EVP_sha1(), "pw", "salt", -5, 32).isEmpty());
    }

    void keyWrapVectors_data()
    {
        QTest::addColumn<QByteArray>("kek");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("wrapped");
        // RFC 3394 section 4.
        QTest::newRow("128 with 128") << hex("000102030405060708090A0B0C0D0E0F") << hex("00112233445566778899AABBCCDDEEFF")
                                      << hex("1FA68B0A8112B447AEF34BD8FB5A7B829D3E862371D2CFE5");
        QTest::newRow("192 with 128") << hex("000102030405060708090A0B0C0D0E0F1011121314151617")
                                      << hex("00112233445566778899AABBCCDDEEFF")
                                      << hex("96778B25AE6CA435F92B5B97C050AED2468AB8A17AD84E5D");
        QTest::newRow("256 with 256")
            << hex("000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F")
            << hex("00112233445566778899AABBCCDDEEFF000102030405060708090A0B0C0D0E0F")
            << hex("28C9F404C4B810F4CBCCB35CFB87F8263F5786E2D80ED326CBC7F0E71A99F43BFB988B9B7A02DD21");
    }
    void keyWrapVectors()
    {
        QFETCH(QByteArray, kek);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, wrapped);
        QCOMPARE(QOpenSSLEVPAES::aeswrap(kek, data, true), wrapped);
        QCOMPARE(QOpenSSLEVPAES::aeswrap(kek, wrapped, false), data);
        QByteArray tampered = wrapped;
        tampered[3] = char(tampered.at(3) ^ 1);
        QVERIFY(QOpenSSLEVPAES::aeswrap(kek, tampered, false).isEmpty());
        QVERIFY(QOpenSSLEVPAES::aeswrap(QByteArray(20, 'k'), data, true).isEmpty());
    }

    // Public keybag vectors: the double derivation (DPIC 1000) and the older single one.
    void publicVectors_data()
    {
        QTest::addColumn<QByteArray>("blob");
        QTest::addColumn<QByteArray>("classKey");
        QTest::newRow("double derivation")
            << record("SALT", hex("2721336781705041205314422175267631184867")) + record("ITER", int32(10000))
                   + record("DPIC", int32(1000)) + record("DPSL", hex("99fafc983e732998adb9fadc162a2e382143f115"))
                   + record("UUID", "u") + record("CLAS", int32(1)) + record("WRAP", int32(2))
                   + record("WPKY", hex("17a3b858e79bc273be43a9f113b71efe7ec8e7e401396b350180b4592ef45db67ffef7b2d64329a5"))
            << hex("2ed7042e87b50000fa6ba698661c000013194470a1f70000c35bd72ce0360000");
        QTest::newRow("single derivation")
            << record("SALT", hex("4542263740587424862267232255853830404566")) + record("ITER", int32(10000))
                   + record("UUID", "u") + record("CLAS", int32(1)) + record("WRAP", int32(2))
                   + record("WPKY", hex("b8e3f3a970239b22ac199b622293fe4237b9d16e74bad2c3c3568cd1bd3c471615a6c4f867265642"))
            << hex("ef6350dc7dd100005d63c19758080000d16b7de7ab7300000f6187b152020000");
    }
    void publicVectors()
    {
        QFETCH(QByteArray, blob);
        QFETCH(QByteArray, classKey);
        _KeybagInfo right = parseKeybag(record("UUID", "k") + record("WRAP", int32(0)) + blob);
        QVERIFY(unlockWithPasscode("hashcat", right));
        QCOMPARE(right.classKeys.value(1).value("KEY"), classKey);
        _KeybagInfo wrong = parseKeybag(record("UUID", "k") + record("WRAP", int32(0)) + blob);
        QVERIFY(!unlockWithPasscode("wrong", wrong));
        QVERIFY(!wrong.classKeys.value(1).contains("KEY"));
    }

    void builderKeybags()
    {
        const KeybagSpec spec = twoClasses();
        _KeybagInfo kb = parseKeybag(keybagBlob(spec));
        QVERIFY(unlockWithPasscode(spec.password, kb));
        QCOMPARE(kb.classKeys.value(1).value("KEY"), QByteArray(32, '\x11'));
        QCOMPARE(kb.classKeys.value(3).value("KEY"), QByteArray(32, '\x33'));
        // A file key wrapped with class 3's key comes back through it; not through class 1.
        const QByteArray fileKey(32, '\x77');
        const QByteArray wrapped = wrapKey(QByteArray(32, '\x33'), fileKey);
        QCOMPARE(unwrapKeyForClass(kb, 3, wrapped), fileKey);
        QVERIFY(unwrapKeyForClass(kb, 1, wrapped).isEmpty());
        QVERIFY(unwrapKeyForClass(kb, 9, wrapped).isEmpty());
        QVERIFY(unwrapKeyForClass(kb, 3, wrapped + "1234").isEmpty());
        _KeybagInfo locked = parseKeybag(keybagBlob(spec));
        QVERIFY(unwrapKeyForClass(locked, 3, wrapped).isEmpty());

        KeybagSpec older = twoClasses();
        older.dpic.reset();
        _KeybagInfo single = parseKeybag(keybagBlob(older));
        QVERIFY(unlockWithPasscode(older.password, single));
        QCOMPARE(single.classKeys.value(3).value("KEY"), QByteArray(32, '\x33'));
        _KeybagInfo refused = parseKeybag(keybagBlob(spec));
        QVERIFY(!unlockWithPasscode("Secret", refused));
    }

    void wrapBitAndDefects_data()
    {
        QTest::addColumn<int>("defect");
        QTest::addColumn<bool>("unlocks");
        QTest::newRow("WRAP 1 is not passcode-wrapped") << 0 << true;
        QTest::newRow("WPKY without WRAP is not passcode-wrapped") << 1 << true;
        QTest::newRow("no SALT") << 2 << false;
        QTest::newRow("no ITER") << 3 << false;
        QTest::newRow("ITER under four bytes") << 4 << false;
        QTest::newRow("ITER 0") << 5 << false;
        QTest::newRow("negative ITER") << 6 << false;
        QTest::newRow("DPIC 0") << 7 << false;
        QTest::newRow("tampered wrap") << 8 << false;
        QTest::newRow("truncated keybag keeps the first class") << 9 << true;
    }
    void wrapBitAndDefects()
    {
        QFETCH(int, defect);
        QFETCH(bool, unlocks);
        KeybagSpec spec = twoClasses();
        switch (defect) {
        case 0: spec.classes[1].wrap = 1; break;
        case 1: spec.classes[1].wrap.reset(); break;
        case 2: spec.withSalt = false; break;
        case 3: spec.iter.reset(); break;
        case 4: spec.iter = QByteArray("\x00\x0a", 2); break;
        case 5: spec.iter = int32(0); break;
        case 6: spec.iter = int32(0xfffffff0u); break;
        case 7: spec.dpic = 0; break;
        case 8: spec.classes[1].tamperWrap = true; break;
        default: break;
        }
        QByteArray blob = keybagBlob(spec);
        if (defect == 9)
            blob.chop(10);
        _KeybagInfo kb = parseKeybag(blob);
        QCOMPARE(unlockWithPasscode(spec.password, kb), unlocks);
        if (defect <= 1) {
            QCOMPARE(kb.classKeys.value(1).value("KEY"), QByteArray(32, '\x11'));
            QVERIFY(!kb.classKeys.value(3).contains("KEY"));
        }
    }

    void progressAndCancel()
    {
        KeybagSpec spec = twoClasses();
        spec.dpic = 4 * Pbkdf2::sliceSize;
        const QByteArray blob = keybagBlob(spec);
        _KeybagInfo kb = parseKeybag(blob);
        QList<int> seen;
        QVERIFY(unlockWithPasscode(spec.password, kb, [&](int percent) {
            seen << percent;
            return true;
        }));
        QVERIFY(seen.size() >= 4);
        QVERIFY(std::is_sorted(seen.begin(), seen.end()));
        QCOMPARE(seen.last(), 100);

        _KeybagInfo stopped = parseKeybag(blob);
        int calls = 0;
        QVERIFY(!unlockWithPasscode(spec.password, stopped, [&](int) { return ++calls < 2; }));
        QCOMPARE(calls, 2);
        QVERIFY(!stopped.classKeys.value(1).contains("KEY"));
    }
};

TARNWICK_TEST_MAIN(TestKeyUnlock)
#include "tst_keyunlock.moc"
