#!/usr/bin/env python3
"""The guides' relative links and pictures resolve: every file exists and every #anchor is a
heading of its file (as GitHub makes anchors). The README stays a front page of at most 250
lines. Prints one line per broken link and exits 1 when there is any."""
import pathlib
import re
import sys

raiz = pathlib.Path(sys.argv[1])
guias = [raiz / "README.md"] + sorted((raiz / "docs").rglob("*.md"))
enlace = re.compile(r"!?\[[^\]]*\]\(([^)\s]+)\)")


def anclas(md):
    """GitHub's anchors of a Markdown file's headings (outside code blocks)."""
    vistas, r, codigo = {}, set(), False
    for linea in md.read_text(encoding="utf-8").splitlines():
        if linea.lstrip().startswith("```"):
            codigo = not codigo
        if codigo or not re.match(r"#{1,6} ", linea):
            continue
        texto = linea.lstrip("#").strip().lower()
        texto = re.sub(r"[^\w\- ]", "", texto).replace(" ", "-")
        n = vistas.get(texto, 0)
        vistas[texto] = n + 1
        r.add(texto if n == 0 else f"{texto}-{n}")
    return r


rotos = []
for guia in guias:
    texto = guia.read_text(encoding="utf-8")
    for destino in enlace.findall(texto):
        if re.match(r"[a-z]+:", destino):
            continue  # http:, https:, mailto:
        ruta, _, ancla = destino.partition("#")
        archivo = (guia.parent / ruta).resolve() if ruta else guia
        donde = f"{guia.relative_to(raiz)}: ({destino})"
        if not archivo.exists():
            rotos.append(f"{donde}: no such file")
        elif ancla and (archivo.suffix != ".md" or ancla not in anclas(archivo)):
            rotos.append(f"{donde}: no heading #{ancla}")
lineas = len((raiz / "README.md").read_text(encoding="utf-8").splitlines())
if lineas > 250:
    rotos.append(f"README.md: {lineas} lines, more than 250")
for r in rotos:
    print(r)
sys.exit(1 if rotos else 0)
