"""Movies of MUDs that send other character sets than UTF-8, written with Python's codecs,
and the text the viewer, the page and the cast show of them.

Each movie: (bytes, the set the page and the cast name, the shown text less its looks).
"""
import re

ESC = "\x1b"
DEFAULT = "UTF-8/windows-1252"
SAMPLE_BYTES = 256 * 1024

# Login screens and a room: colour escapes between words and inside them, CR-LF line ends,
# a prompt with no line end.
SCREENS = {
    "gb18030": ("GB18030", [
        "欢迎来到北大侠客行！",
        f"你正站在扬州城的{ESC}[31m中央广场{ESC}[0m，四周人来人往，热闹非凡。",
        f"北门外是一片{ESC}[1;32m竹{ESC}[0m林，东边是客栈。",
    ], "生命:100/100 内力:50 >"),
    "big5": ("Big5", [
        "歡迎來到臺灣的泥巴世界！",
        f"你站在城市的{ESC}[33m中央廣場{ESC}[0m，四周人來人往，非常熱鬧。",
        f"北邊是{ESC}[36m皇宮{ESC}[0m，南邊是市場。",
    ], "體力:100 法力:50 >"),
    "euc_kr": ("EUC-KR", [
        "바람의 나라에 오신 것을 환영합니다!",
        f"당신은 {ESC}[32m마을 광장{ESC}[0m에 서 있습니다. 북쪽에는 성이 있습니다.",
        f"상인이 {ESC}[35m물건{ESC}[0m을 팔고 있습니다.",
    ], "체력:100 마력:50 >"),
    "shift_jis": ("Shift_JIS", [
        "ようこそ、冒険者の世界へ！",
        f"あなたは町の{ESC}[34m広場{ESC}[0mに立っています。北には城があります。",
        "ソフトな表情の商人が C:\\ を見ている。",
    ], "体力:100 魔力:50 >"),
    "koi8_r": ("KOI8-R", [
        "Добро пожаловать в мир приключений!",
        f"Вы стоите на цент{ESC}[32mральной{ESC}[0m площади города.",
        f"Здесь {ESC}[1;31mстражник{ESC}[0m и торговец.",
    ], "Жизнь:100 Мана:50 >"),
    "cp1251": ("windows-1251", [
        "Добро пожаловать в мир приключений!",
        f"Вы стоите на цент{ESC}[32mральной{ESC}[0m площади города.",
        f"Здесь {ESC}[1;31mстражник{ESC}[0m и торговец, ящик и щит.",
    ], "Жизнь:100 Мана:50 >"),
    "cp1250": ("windows-1250", [
        "Vítejte ve světě dobrodružství!",
        f"Stojíte na {ESC}[33mnáměstí{ESC}[0m města, kolem je živo.",
        f"Žluťoučký {ESC}[1;35mkůň{ESC}[0m úpěl ďábelské ódy. Šťastný čaroděj.",
    ], "Životy:100 Mana:50 >"),
}

_LOOK = re.compile(ESC + r"\[[0-9;]*m")


def unstyled(text):
    return _LOOK.sub("", text)


def screen_movie(codec):
    """A movie of a screen and what shows of it."""
    name, lines, prompt = SCREENS[codec]
    data = b""
    for k, line in enumerate(lines):
        data += b"line " + line.encode(codec) + (b"\r\n" if k % 2 else b"\n")
        data += b"sleep 100\n"
    data += b"prompt " + prompt.encode(codec) + b"\n"
    shown = "".join(unstyled(line) + "\n" for line in lines) + unstyled(prompt)
    return data, name, shown


def plain(n):
    return b"line You are standing in a room. Exits: north, east.\n" * n


def western_movie():
    """Mostly ASCII with an accent: the detector would call it central European."""
    data = plain(30) + "line The café is closed.\n".encode("cp1252") + plain(10)
    shown = ("You are standing in a room. Exits: north, east.\n" * 30
             + "The café is closed.\n"
             + "You are standing in a room. Exits: north, east.\n" * 10)
    return data, DEFAULT, shown


def telnet_movie():
    """Telnet's IAC GA left after each prompt of a capture."""
    data = b"".join(b"prompt HP:100 >\xff\xf9\nline You see a room.\n" for _ in range(50))
    shown = "HP:100 >\u00ff\u00f9You see a room.\n" * 50
    return data, DEFAULT, shown


def late_movie():
    """ASCII for longer than the sample, then KOI8-R: read by the default rule."""
    data = plain(SAMPLE_BYTES // len(plain(1)) + 1)
    data += "line Добро пожаловать в мир приключений!\n".encode("koi8_r") * 20
    shown = data.replace(b"line ", b"").decode("cp1252")
    return data, DEFAULT, shown


def undecodable_movie():
    """GB18030 with bytes it cannot decode: one U+FFFD for each, and the text goes on."""
    data, name, shown = screen_movie("gb18030")
    data += b"line \xd6\xd0\xff\xce\xc4\x80!\n"
    return data, name, shown + "\u4e2d\ufffd\u6587\ufffd!\n"


def all_movies():
    movies = {codec: screen_movie(codec) for codec in SCREENS}
    movies.update(western=western_movie(), telnet=telnet_movie(), late=late_movie(),
                  undecodable=undecodable_movie())
    return movies
