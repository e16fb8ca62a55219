#!/usr/bin/env python3
"""Writes the benchmark texts, the same on every run (fixed seeds).

  gen_texts.py OUT_DIR

ascii.txt    10,000 characters of English-like prose: mixed case, digits and
             every printable ASCII punctuation sign, with line breaks.
spanish.txt  2,000 characters of Spanish prose with ñ Ñ á é í ó ú ü ¿ ¡ €.
scripts.txt  1,000 characters mixing Cyrillic, Greek, CJK and emoji. The
             alphabet is kept to about 90 distinct characters, so that a VNC
             server that adds missing keysyms to free keycodes has room for them.
"""
import random
import string
import sys
from pathlib import Path

PUNCTUATION = string.punctuation  # the 32 printable ASCII signs


def ascii_prose(n):
    rng = random.Random(1001)
    words = ("the quick brown fox jumps over lazy dog while keyboard layout sends every "
             "character through remote console terminal window server client text paste "
             "typed exactly as written before after during number value line field").split()
    out, line = [], 0
    while sum(map(len, out)) < n:
        sentence = []
        for i in range(rng.randint(5, 14)):
            w = rng.choice(words)
            r = rng.random()
            if i == 0 or r < 0.1:
                w = w.capitalize()
            elif r < 0.15:
                w = w.upper()
            elif r < 0.25:
                w = str(rng.randint(0, 99999))
            if rng.random() < 0.3:
                p = rng.choice(PUNCTUATION)
                w = rng.choice([w + p, p + w, w + p + p, w + p + str(rng.randint(0, 9))])
            sentence.append(w)
        text = " ".join(sentence) + rng.choice(".!?;:") + " "
        out.append(text)
        line += len(text)
        if line > 300 and rng.random() < 0.5:
            out.append("\n")
            line = 0
    text = "".join(out)[:n]
    missing = [c for c in PUNCTUATION if c not in text]
    assert not missing, missing
    return text


def spanish_prose(n):
    rng = random.Random(1002)
    words = ("año niño señal mañana España cigüeña pingüino vergüenza acción canción "
             "están música árbol también sólo último según rápido teléfono después "
             "qué cuál dónde cómo el la los las un una de del en con por para y que "
             "pero muy más caro barato precio cuesta euros tienda casa calle aquí país día").split()
    out = []
    while sum(map(len, out)) < n:
        sentence = [rng.choice(words) for _ in range(rng.randint(4, 10))]
        sentence[0] = sentence[0].capitalize()
        if rng.random() < 0.3:
            sentence.insert(rng.randint(1, len(sentence)), f"{rng.randint(1, 999)},{rng.randint(0, 99):02d} €")
        if rng.random() < 0.15:
            sentence.insert(0, "Ñandú")
        body = " ".join(sentence)
        kind = rng.random()
        if kind < 0.25:
            body = "¿" + body + "?"
        elif kind < 0.45:
            body = "¡" + body + "!"
        else:
            body += rng.choice([".", ".", ",", ";", ":"])
        out.append(body + (" " if rng.random() < 0.9 else "\n"))
    text = "".join(out)[:n]
    missing = [c for c in "ñÑáéíóúü¿¡€" if c not in text]
    assert not missing, missing
    return text


def scripts_mix(n):
    rng = random.Random(1003)
    cyrillic = "абвгдежзиклмнопрстуфхцчшыэюяБДЖЛПФЯ"  # 35
    greek = "αβγδεζηθικλμνξοπρστυφχψωΩΣΔ"  # 27
    cjk = "世界中文字日本語漢東京大学生水火山人"  # 18
    emoji = "😀😂😍👍🎉🚀🌍🔥"  # 8
    alphabets = [cyrillic, greek, cjk, emoji]
    chars = []
    while len(chars) < n:
        alphabet = rng.choice(alphabets)
        chars.extend(rng.choice(alphabet) for _ in range(rng.randint(1, 7)))
        chars.append(" " if rng.random() < 0.92 else "\n")
    text = "".join(chars[:n])
    assert len(text) == n
    return text


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    for name, text in (("ascii", ascii_prose(10_000)), ("spanish", spanish_prose(2_000)),
                       ("scripts", scripts_mix(1_000))):
        (out / f"{name}.txt").write_text(text, encoding="utf-8", newline="")
        print(f"{name}\t{len(text)}\t{len(set(text))}")


if __name__ == "__main__":
    main()
