"""Makes the manual one self-contained file: the style sheets it links are put
inline and the pictures it shows become data URIs.

Usage: inline.py <page.html> <picture-folder> <out.html>
Style sheets are read beside the page; pictures from the picture folder, where
the screenshots were just taken. A picture that is missing fails the build.
"""
import base64
import pathlib
import re
import sys


def main(page_path, picture_dir, out_path):
    page = pathlib.Path(page_path)
    pictures = pathlib.Path(picture_dir)
    html = page.read_text(encoding="utf-8")

    def style(match):
        css = (page.parent / match.group(1)).read_text(encoding="utf-8")
        return "<style>\n" + css + "</style>"

    def picture(match):
        data = (pictures / match.group(1)).read_bytes()
        return 'src="data:image/png;base64,' + base64.b64encode(data).decode("ascii") + '"'

    html = re.sub(r'<link rel="stylesheet" href="([^"]+)">', style, html)
    html = re.sub(r'src="([^":]+\.png)"', picture, html)
    pathlib.Path(out_path).write_text(html, encoding="utf-8")


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
