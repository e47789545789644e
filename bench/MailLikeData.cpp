#include "bench/MailLikeData.h"

#include <QDir>
#include <QFile>
#include <array>
#include <stdexcept>
#include <vector>

namespace stowline::bench {

namespace {

class Random {
public:
    explicit Random(quint64 seed) : m_state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    quint64 next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return m_state;
    }
    quint32 below(quint32 bound) { return static_cast<quint32>(next() % bound); }

private:
    quint64 m_state;
};

// Words with a skewed frequency, as in real mail: a few very common, a long tail of rare ones.
class Vocabulary {
public:
    explicit Vocabulary(Random& random) {
        static constexpr std::array common{"the",     "and",      "to",      "of",     "a",
                                           "in",      "for",      "is",      "on",     "that",
                                           "with",    "you",      "meeting", "please", "thanks",
                                           "regards", "attached", "project", "report", "tomorrow"};
        for (const char* word : common)
            m_words.emplace_back(word);
        static constexpr char letters[] = "etaoinshrdlcumwfgypbvkjxqz";
        for (int i = 0; i < 2000; ++i) {
            std::string word;
            const int length = 3 + static_cast<int>(random.below(8));
            for (int k = 0; k < length; ++k)
                word += letters[random.below(k == 0 ? 26 : 14)];
            m_words.push_back(word);
        }
    }
    const std::string& pick(Random& random) const {
        const quint32 roll = random.below(100);
        if (roll < 50)
            return m_words[random.below(20)];
        if (roll < 88)
            return m_words[20 + random.below(300)];
        return m_words[random.below(static_cast<quint32>(m_words.size()))];
    }

private:
    std::vector<std::string> m_words;
};

class FileSink {
public:
    explicit FileSink(const QString& path) : m_file(path) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw std::runtime_error("cannot write " + path.toStdString());
        m_buffer.reserve(BufferSize);
    }
    ~FileSink() { flush(); }
    void append(const char* data, size_t size) {
        m_buffer.append(data, size);
        m_written += size;
        if (m_buffer.size() >= BufferSize)
            flush();
    }
    void append(const std::string& text) { append(text.data(), text.size()); }
    quint64 written() const { return m_written; }

private:
    static constexpr size_t BufferSize = 1 << 20;
    void flush() {
        if (!m_buffer.empty() && m_file.write(m_buffer.data(), static_cast<qint64>(m_buffer.size())) < 0)
            throw std::runtime_error("write failed");
        m_buffer.clear();
    }
    QFile m_file;
    std::string m_buffer;
    quint64 m_written = 0;
};

class MailWriter {
public:
    MailWriter(Random& random, const Vocabulary& words) : m_random(random), m_words(words) {}

    void message(FileSink& out, double incompressibleShare) {
        const quint64 start = out.written();
        header(out);
        const int paragraphs = 1 + static_cast<int>(m_random.below(4));
        for (int p = 0; p < paragraphs; ++p)
            paragraph(out);
        quoteEarlierMail(out);
        signature(out);
        const quint64 text = out.written() - start;
        // Attachment blocks keep the incompressible share of the whole close to the one asked for.
        m_debt += static_cast<double>(text) * incompressibleShare / (1.0 - incompressibleShare);
        if (m_debt > 64 * 1024) {
            const auto size = static_cast<quint64>(m_debt);
            noise(out, size);
            m_debt -= static_cast<double>(size);
        }
    }

private:
    void header(FileSink& out) {
        std::string h = "Received: from mail.example.com (mail.example.com [192.0.2.1])\r\n"
                        "\tby mx.example.net with ESMTP; Mon, 5 Mar 2001\r\n"
                        "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=\"iso-8859-1\"\r\n";
        h += "From: " + m_words.pick(m_random) + '.' + m_words.pick(m_random) + "@example.com\r\n";
        h += "Date: " + std::to_string(1 + m_random.below(28)) + " Mar 2001 " +
             std::to_string(m_random.below(24)) + ':' + std::to_string(10 + m_random.below(50)) +
             " +0100\r\n";
        h += "Message-ID: <" + std::to_string(m_random.next() % 1000000000000ull) + "@mail.example.com>\r\n";
        h += "Subject: " + m_words.pick(m_random) + ' ' + m_words.pick(m_random) + "\r\n\r\n";
        out.append(h);
    }

    // Replies quote the mail they answer, as mail stores are full of.
    void quoteEarlierMail(FileSink& out) {
        if (m_random.below(2) == 0 || m_lastParagraph.empty())
            return;
        std::string quoted = "\r\n> ";
        for (const char c : m_lastParagraph) {
            quoted += c;
            if (c == '.' && m_random.below(3) == 0)
                quoted += "\r\n>";
        }
        out.append(quoted + "\r\n");
    }

    void signature(FileSink& out) {
        static constexpr std::array names{"Anna Berg", "Tom Ward", "Li Wei", "Maria Costa", "Jan Novak"};
        out.append(std::string("--\r\n") + names[m_random.below(names.size())] +
                   "\r\nExample Trading Ltd., Sales department\r\nPhone +44 20 7946 0000\r\n\r\n");
    }

    void paragraph(FileSink& out) {
        std::string text;
        const int sentences = 2 + static_cast<int>(m_random.below(6));
        for (int s = 0; s < sentences; ++s) {
            const int length = 5 + static_cast<int>(m_random.below(14));
            for (int w = 0; w < length; ++w) {
                text += m_words.pick(m_random);
                text += w + 1 == length ? ". " : " ";
            }
            if (m_random.below(8) == 0)
                text += std::to_string(m_random.below(1000)) + ' ';
        }
        text += "\r\n\r\n";
        out.append(text);
        m_lastParagraph = std::move(text);
    }

    void noise(FileSink& out, quint64 size) {
        std::array<quint64, 4096> block;
        while (size > 0) {
            for (quint64& word : block)
                word = m_random.next();
            const size_t now = static_cast<size_t>(std::min<quint64>(size, sizeof block));
            out.append(reinterpret_cast<const char*>(block.data()), now);
            size -= now;
        }
    }

    Random& m_random;
    const Vocabulary& m_words;
    double m_debt = 0;
    std::string m_lastParagraph;
};

quint64 writeStores(const QString& folder, quint64 budget, const MailLikeSpec& shape, Random& random,
                    const Vocabulary& words) {
    static constexpr std::array stores{std::pair{"Inbox.dbx", 30},         std::pair{"Sent Items.dbx", 15},
                                       std::pair{"Deleted Items.dbx", 10}, std::pair{"Archive 2000.dbx", 20},
                                       std::pair{"Projects.dbx", 12},      std::pair{"Lists.dbx", 8},
                                       std::pair{"Drafts.dbx", 3},         std::pair{"Outbox.dbx", 2}};
    MailWriter mail(random, words);
    quint64 written = 0;
    for (const auto& [name, percent] : stores) {
        FileSink out(folder + QStringLiteral("/Store/") + QString::fromLatin1(name));
        const quint64 target = budget * static_cast<quint64>(percent) / 100;
        while (out.written() < target)
            mail.message(out, shape.incompressibleShare);
        written += out.written();
    }
    return written;
}

quint64 writeTinyFiles(const QString& folder, const MailLikeSpec& shape, Random& random,
                       const Vocabulary& words) {
    quint64 written = 0;
    for (int i = 0; i < shape.tinyFiles; ++i) {
        const QString sub = QStringLiteral("/Favorites/Links %1/Topic %2/").arg(i % 12).arg(i % 97);
        FileSink out(folder + sub + QStringLiteral("Site %1.url").arg(i));
        out.append("[InternetShortcut]\r\nURL=http://www." + words.pick(random) + '-' + words.pick(random) +
                   ".example/" + std::to_string(random.next() % 100000) + "/index.html\r\n");
        if (random.below(3) == 0)
            out.append("IconIndex=" + std::to_string(random.below(40)) +
                       "\r\nModified=" + std::to_string(random.next()) + "\r\n");
        written += out.written();
    }
    return written;
}

quint64 writeAddressBook(const QString& folder, Random& random, const Vocabulary& words) {
    FileSink out(folder + QStringLiteral("/Address Book/user.wab"));
    MailWriter mail(random, words);
    while (out.written() < 2 * 1024 * 1024)
        mail.message(out, 0.1);
    return out.written();
}

} // namespace

quint64 GenerateMailLikeFolder(const QString& folder, const MailLikeSpec& shape) {
    Random random(shape.seed);
    const Vocabulary words(random);
    quint64 written = writeTinyFiles(folder, shape, random, words);
    written += writeAddressBook(folder, random, words);
    if (shape.totalBytes > written)
        written += writeStores(folder, shape.totalBytes - written, shape, random, words);
    return written;
}

} // namespace stowline::bench
