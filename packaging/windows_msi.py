"""The per-user MSI of the Windows release, built with wixl from product.wxs.

Every staged file is one component whose GUID comes from its file name, so the
components of two versions agree and a major upgrade replaces them in place.
"""

import os
import subprocess
import uuid
from xml.sax.saxutils import quoteattr

HERE = os.path.dirname(os.path.abspath(__file__))
TEMPLATE = os.path.join(HERE, "windows", "product.wxs")
COMPONENT_NAMESPACE = uuid.UUID("3c4f9d52-8a7e-4f0b-b8d6-2f1e6a0c9b47")


def identifier(name):
    return "".join(c if c.isalnum() else "_" for c in name)


def components(stage):
    """The <Component> elements of the staged files, the assistant's own first."""
    lines = []
    for name in sorted(os.listdir(stage), key=lambda n: (n != "TarnAssistant.exe", n.lower())):
        guid = uuid.uuid5(COMPONENT_NAMESPACE, name.lower())
        # wixl takes sources relative to the .wxs, which lies beside the stage.
        source = quoteattr(os.path.join(os.path.basename(stage), name))
        lines.append(f'          <Component Id="c_{identifier(name)}" Guid="{guid}">\n'
                     f'            <File Id="f_{identifier(name)}" Name={quoteattr(name)} Source={source} KeyPath="yes"/>\n'
                     f'          </Component>')
    return "\n".join(lines)


def component_refs(stage):
    return "\n".join(f'      <ComponentRef Id="c_{identifier(n)}"/>' for n in sorted(os.listdir(stage)))


def build(stage, version, target):
    """Writes the MSI of the files in `stage`, for `version`, to `target`."""
    stage = os.path.abspath(stage)
    with open(TEMPLATE, encoding="utf-8") as f:
        source = f.read()
    source = source.replace("<!-- FILES -->", components(stage))
    source = source.replace("<!-- FILE REFS -->", component_refs(stage))
    wxs = os.path.join(os.path.dirname(stage), f"product-{version}.wxs")
    with open(wxs, "w", encoding="utf-8") as f:
        f.write(source)
    subprocess.run(["wixl", "-a", "x86", "-D", "Version=" + version, "-o", os.path.abspath(target), wxs],
                   check=True, cwd=os.path.dirname(wxs))
